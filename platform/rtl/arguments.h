#pragma once

#include <QString>

namespace qor {

// The first command-line argument that does not read back as the bytes it was given (a
// file or folder name written in Latin-1 on a UTF-8 system), as it decodes; empty when
// all read back. Taken as decoded it would name another file than the one meant.
QString unreadableArgument(int argc, char **argv);

} // namespace qor
