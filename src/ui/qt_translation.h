#pragma once

namespace ph {

// Qt's own dialogs (message and input boxes and their standard buttons) speak Simplified
// Chinese like the rest of the window, whatever the system's locale. Installs Qt's translation
// once per application; false when it is missing (Debian package qt6-translations-l10n).
bool LoadQtChineseTranslation();

}  // namespace ph
