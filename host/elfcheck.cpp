#include "elfcheck.h"

#include <QFile>
#include <QSysInfo>

#include <cstring>
#include <elf.h>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

const QString CutShort = u"o arquivo está incompleto (cortado antes do fim)"_s;

template <typename T> bool readAt(QFile &file, quint64 offset, T &value)
{
    if (offset > quint64(file.size()) || quint64(file.size()) - offset < sizeof(T))
        return false;
    return file.seek(qint64(offset))
        && file.read(reinterpret_cast<char *>(&value), sizeof(T)) == qint64(sizeof(T));
}

// Ehdr and Phdr of one ELF class, in the machine's own byte order.
template <typename Ehdr, typename Phdr> QString checkSegments(QFile &file)
{
    Ehdr header;
    if (!readAt(file, 0, header))
        return CutShort;
    if (header.e_phnum == 0)
        return {};
    if (header.e_phentsize != sizeof(Phdr))
        return {}; // not one the loader takes; it says so itself
    const quint64 size = quint64(file.size());
    const quint64 table = quint64(header.e_phnum) * sizeof(Phdr);
    if (header.e_phoff > size || size - header.e_phoff < table)
        return CutShort;
    for (quint64 i = 0; i < header.e_phnum; ++i) {
        Phdr segment;
        if (!readAt(file, header.e_phoff + i * sizeof(Phdr), segment))
            return CutShort;
        const quint64 offset = segment.p_offset;
        const quint64 length = segment.p_filesz;
        if (offset > size || size - offset < length)
            return CutShort;
    }
    return {};
}

} // namespace

QString TruncatedElfProblem(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {}; // the loader reports why it cannot be read
    unsigned char ident[EI_NIDENT];
    if (file.read(reinterpret_cast<char *>(ident), EI_NIDENT) != EI_NIDENT
        || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return {};
    const unsigned char ownOrder =
        QSysInfo::ByteOrder == QSysInfo::LittleEndian ? ELFDATA2LSB : ELFDATA2MSB;
    if (ident[EI_DATA] != ownOrder)
        return {}; // refused by the loader before it maps anything
    switch (ident[EI_CLASS]) {
    case ELFCLASS64:
        return checkSegments<Elf64_Ehdr, Elf64_Phdr>(file);
    case ELFCLASS32:
        return checkSegments<Elf32_Ehdr, Elf32_Phdr>(file);
    default:
        return {};
    }
}

} // namespace qor
