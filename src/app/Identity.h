#pragma once

#include <QString>

namespace velmar {

// The name of the installed desktop entry (without ".desktop"), which is also
// the icon's name in the icon theme and the AppStream component id.
inline constexpr char kDesktopFileName[] = "org.velmar.Velmar";

// The program's version as its users see it: "1.00" for 1.0.0.0.
QString versionText();

// Sets the application's name ("Velmar"), version and desktop file name, and
// loads Qt's own texts in Spanish. Call once, right after the QApplication is
// constructed.
void setApplicationIdentity();

// Installs Qt's Spanish translation (qtbase_es.qm from Qt's translations
// folder), so Qt's own texts (standard buttons, context menus) read as the
// program's do: "Aceptar", not "OK". False, and nothing installed, when the
// translation is not there. Installs it once however often it is called.
bool installQtTranslation();

}  // namespace velmar
