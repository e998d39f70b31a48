#include "packageloader.h"

#include "elfcheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace qor {

PackageLoader::~PackageLoader() = default;

QString PackageLoader::defaultPath()
{
    return QCoreApplication::applicationDirPath() + u"/Pkg_Qor12700.so"_s;
}

bool PackageLoader::load(const QString &path)
{
    m_error.clear();
    const QFileInfo info(path);
    if (!info.exists()) {
        m_error =
            u"Pacote não encontrado: %1"_s.arg(QDir::toNativeSeparators(info.absoluteFilePath()));
        return false;
    }
    // Only a regular file: opening a named pipe would wait for a writer forever.
    if (!info.isFile()) {
        m_error = u"Não foi possível carregar o pacote %1: não é um arquivo comum."_s.arg(
            info.fileName());
        return false;
    }
    if (const QString problem = TruncatedElfProblem(info.absoluteFilePath()); !problem.isEmpty()) {
        m_error = u"Não foi possível carregar o pacote %1: %2."_s.arg(info.fileName(), problem);
        return false;
    }
    m_library.setFileName(info.absoluteFilePath());
    // Every routine the package names is looked up now: one that this installation lacks
    // (a package built for another version) is refused here with a message, instead of
    // ending the host when the screen first calls it.
    m_library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!m_library.load()) {
        m_error = u"Não foi possível carregar o pacote %1: %2"_s.arg(info.fileName(),
                                                                     m_library.errorString());
        return false;
    }
    m_iniProc = reinterpret_cast<bool (*)(const QVariant &)>(m_library.resolve("IniProc"));
    if (!m_iniProc) {
        m_error = u"O pacote %1 não tem o ponto de entrada IniProc."_s.arg(info.fileName());
        m_library.unload();
        return false;
    }
    m_version = reinterpret_cast<const char *(*)()>(m_library.resolve("QorPackageVersion"));
    m_primVez = reinterpret_cast<const bool *>(m_library.resolve("boPrimVez"));
    m_idCriado = reinterpret_cast<const bool *>(m_library.resolve("boIdCriado"));
    return true;
}

bool PackageLoader::iniProc(const QVariant &params) const
{
    return m_iniProc && m_iniProc(params);
}

QString PackageLoader::version() const
{
    return m_version ? QString::fromLatin1(m_version()) : QString();
}

bool PackageLoader::screenPending() const
{
    return m_primVez && *m_primVez;
}

bool PackageLoader::screenCreated() const
{
    return m_idCriado && *m_idCriado;
}

void PackageLoader::unload()
{
    if (!m_library.isLoaded())
        return;
    m_iniProc = nullptr;
    m_version = nullptr;
    m_primVez = nullptr;
    m_idCriado = nullptr;
    m_library.unload();
}

} // namespace qor
