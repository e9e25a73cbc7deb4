#pragma once
// The maker's web page, opened by a click on the logo of form97 and of the
// main window.

namespace kuv {

inline constexpr const char* kMakerPageAddress = "https://www.kuv-zip.fr/";

}  // namespace kuv
