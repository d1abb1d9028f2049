#include "LanguageHook.h"

#ifdef KESTRUNE_HAVE_LANGUAGE_WINDOW
#include "app/gui/LanguageWindow.h"
#endif

namespace kestrune {

bool showLanguageWindowModally(QWidget* parent) {
#ifdef KESTRUNE_HAVE_LANGUAGE_WINDOW
    LanguageWindow window(parent);
    window.exec();
    return true;
#else
    (void)parent;
    return false;
#endif
}

} // namespace kestrune
