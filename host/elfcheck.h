#pragma once

#include <QString>

namespace qor {

// Whether the parts of a shared library that the system loader maps lie inside the
// file. The loader maps them without reading them first, and a file cut short (an
// interrupted copy, a full disk) then brings the process down on the first access
// past its end. Returns an empty text when the file may be handed to the loader,
// otherwise what is wrong, in Portuguese. Files that are no ELF object at all are left
// for the loader to refuse with its own words.
QString TruncatedElfProblem(const QString &path);

} // namespace qor
