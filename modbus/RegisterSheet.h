#pragma once

#include "modbus/ModbusClient.h"
#include "modbus/ModbusFrame.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>

// The register sheet of the Modbus page as a plain model: the read
// parameters as typed, six rows (register, data type, byte order, the bytes
// and value shown, a description), automatic or manual numbering with the
// out-of-range mark, and the register bytes of the last valid reply. Values
// are made by the support library's FillString. The page only mirrors this
// model in its controls; kestrune-cli and the tests use it directly.
namespace kestrune::modbus {

inline constexpr int SheetRowCount = 6;
inline constexpr int DataTypeCount = 16;

// The data types in list order ("INT16" ... "CHAR16"); the position is the
// type code FillString takes.
const QStringList& dataTypeNames();
// Empty outside 0..15.
QString dataTypeName(int type);
// The position of a name in the list (exact spelling), -1 when absent.
int dataTypeByName(QStringView name);
// Registers a value of the type occupies; 0 outside 0..15.
int registerCount(int type);

// The byte orders offered for a type, in list order: "AB", "BA" for the
// 16-bit integers; "ABCD", "DCBA" for the 64-bit integers; all four for the
// 32-bit types and the floats; "ABCD" alone for text. The position is the
// order code FillString takes.
QStringList byteOrderNames(int type);
// The position of an order name in the type's list, -1 when not offered.
int byteOrderByName(int type, QStringView name);

// Value bytes as the sheet shows them: upper-case pairs, a blank after
// every second byte between pairs ("3F80 0000").
QString sheetByteText(QByteArrayView bytes);

// One value as a sheet row shows it.
struct ValueView {
    QString bytes; // the bytes present, in sheet form
    QString value; // FillString's text, trimmed; empty when not made
    QString note;  // why no value is shown (the reply ends inside it, or
                   // the support library is missing); empty otherwise
};

// The value of the given type and byte order whose bytes start at offset in
// data (0 <= offset < data.size()). When the data ends inside the value, the
// bytes present are shown but never converted, and the note says so.
ValueView valueAt(QByteArrayView data, qsizetype offset, int type, int order);

// The same bytes in every byte order the type offers, in list order.
struct OrderValue {
    QString order;
    QString value;
};
QList<OrderValue> valuesInEveryOrder(QByteArrayView data, qsizetype offset, int type);

// Entry checks, run on every change of a box. Empty text stays empty; text
// that is not a number becomes "0"; a number above the bound becomes the
// bound; any other text is kept as it is (negative numbers too).
QString checkedSlaveAddress(const QString& text); // bound 255
QString checkedRegister(const QString& text);     // bound 65535: first register, row registers
QString checkedCount(const QString& text);        // bound 65535: the count word's range

struct SheetRow {
    int type = 0;  // position in dataTypeNames()
    int order = 0; // position in byteOrderNames(type)
    QString registerText;
    QString byteText;
    QString valueText;
    QString description;
    // The register lies outside the range the read covers (manual numbering
    // only): the page paints the register box yellow.
    bool outOfRange = false;
    // Why the value is not shown although the register has bytes.
    QString note;
};

class RegisterSheet {
public:
    RegisterSheet();

    // ---- Read parameters ------------------------------------------------------

    bool autoRegister() const { return m_autoRegister; }
    // Nothing is renumbered until the next refresh.
    void setAutoRegister(bool on) { m_autoRegister = on; }
    Framing framing() const { return m_framing; }
    void setFraming(Framing framing) { m_framing = framing; }
    // 0 for function 3, 1 for function 4; false (nothing changed) otherwise.
    int functionPosition() const { return m_functionPosition; }
    bool setFunctionPosition(int position);

    // The texts as the boxes hold them, after their entry checks. Each
    // setter returns the text the box must show.
    const QString& slaveText() const { return m_slaveText; }
    const QString& firstText() const { return m_firstText; }
    const QString& countText() const { return m_countText; }
    QString setSlaveText(const QString& text);
    QString setFirstText(const QString& text);
    QString setCountText(const QString& text);

    // The read the parameters describe (numbers read leniently, as typed:
    // "12x" is 12, "" is 0); ModbusClient checks their ranges.
    ReadParameters readParameters() const;

    // ---- Rows -----------------------------------------------------------------

    const SheetRow& row(int row) const { return m_rows.at(size_t(row)); }

    // The user picks a data type: every row's byte-order list is rebuilt with
    // its first entry chosen, then the sheet is refreshed. False for a row
    // or type out of range.
    bool chooseType(int row, int type);
    // The user picks a byte order (a position in the row's list); refreshes.
    bool chooseOrder(int row, int order);
    // A register box changed: its entry check applies while numbering is
    // manual. Returns the text the box must show.
    QString setRegisterText(int row, const QString& text);
    // A register box lost the focus: automatic numbering shows the values,
    // manual numbering checks that row's range.
    void registerEdited(int row);
    // The first-register or count box lost the focus.
    void readRangeEdited() { refresh(); }
    void setDescription(int row, const QString& text);

    // Without side effects, for loading a file: the row's type with its own
    // byte-order list reset, a byte order, or the shown texts.
    bool setRowType(int row, int type);
    bool setRowOrder(int row, int order);
    void setByteText(int row, const QString& text);
    void setValueText(int row, const QString& text);
    // Every row's byte order back to its list's first entry.
    void resetOrders();

    // ---- Register data --------------------------------------------------------

    const QByteArray& registerData() const { return m_data; }
    // The register the data starts at (the first register of its read).
    int64_t dataFirstRegister() const { return m_dataFirst; }
    void setRegisterData(const QByteArray& bytes, int64_t firstRegister);
    void clearRegisterData();

    // What the Read button does with a result: nothing when no reply
    // arrived; otherwise the data and every row's bytes and value are
    // emptied, and a reply that passed its check fills them again.
    void applyReadResult(const ReadResult& result);

    // ---- Commands ---------------------------------------------------------------

    // Numbering (automatic) or range marks (manual), then the values.
    void refresh();
    // Every row's bytes and value from the register data. Rows without a
    // register, or whose register the data does not hold, show nothing
    // (without any data they keep what they show, for instance the texts of
    // a sheet file).
    void showValues();
    // Empties the bytes and values of every row.
    void clearOutputs();
    // The Clear button: no data; every row INT16 with its first byte order
    // and empty boxes.
    void clear();

    // The row's bytes in every byte order its type offers (the "every order
    // at a glance" view). Empty values when the data does not hold the row's
    // register.
    QList<OrderValue> valuesInEveryOrder(int row) const;

private:
    // The range check of one row; showValuesInside runs showValues() for a
    // row inside the range.
    void checkRange(int row, bool showValuesInside);
    // Byte offset of a row's register in the data, -1 when the data does not
    // hold it or the row has no register.
    qsizetype dataOffset(int row) const;
    static bool validRow(int row) { return row >= 0 && row < SheetRowCount; }

    bool m_autoRegister = false;
    Framing m_framing = Framing::Rtu;
    int m_functionPosition = 0;
    QString m_slaveText;
    QString m_firstText;
    QString m_countText;
    std::array<SheetRow, SheetRowCount> m_rows;
    QByteArray m_data;
    int64_t m_dataFirst = 0;
};

} // namespace kestrune::modbus
