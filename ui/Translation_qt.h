#pragma once
// French for Qt's own texts (the buttons of standard message and input
// boxes, context menus of text fields): main() calls this once the
// application object exists.

class QCoreApplication;

namespace kuv {

// Installs Qt's French translation ("qtbase_fr" from Qt's translations
// folder) into the application. False when the translation is not installed;
// Qt's texts then stay in English.
bool LoadQtFrenchTranslation(QCoreApplication* app);

}  // namespace kuv
