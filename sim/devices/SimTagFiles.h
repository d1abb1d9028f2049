#pragma once

#include <QByteArray>
#include <QList>

// Tag files of the simulated gateway's tag list, in the three layouts the
// wizard's tag-file loader understands, so the demo can offer them:
//   0  OPC item list: one tag name per line (it must hold two "." at least);
//   1  tag table: "[TAG],<station part>,<group>,<name>,<last part>," lines,
//      which the loader joins into "<station part>.<group>_<name>.<last>"
//      (the group and its "_" only when the group is not empty);
//   2  item table: "[item],<station>,<n>,<tag name>,STRING," lines, of which
//      the loader takes the fourth field.
// Lines end with CR LF.
namespace kestrune::sim {

enum class TagFileLayout { OpcItems = 0, TagTable = 1, ItemTable = 2 };

// Whether a tag name can be written in the layout so that loading the file
// gives the same name back: layout 0 needs two "." and no line break;
// layout 1 needs two "." and no comma or double quote; layout 2 needs a
// non-empty name without comma or double quote; none may hold a line break.
bool tagFitsLayout(const QByteArray& name, TagFileLayout layout);

// The file contents for the names in the layout. Names that do not fit the
// layout are left out and, when skipped is given, listed there.
QByteArray tagFileContents(const QList<QByteArray>& names, TagFileLayout layout, int station = 0,
                           QList<QByteArray>* skipped = nullptr);

} // namespace kestrune::sim
