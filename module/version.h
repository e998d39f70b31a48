#pragma once

#include <QString>

namespace qor {

// The package version as the application shows it: major, then minor in two digits,
// then release in three ("6.05.002" for 6.5.2.0).
QString PackageVersionText(int major, int minor, int release);

} // namespace qor
