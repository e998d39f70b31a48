#pragma once

#include <QLibrary>
#include <QString>
#include <QVariant>

namespace qor {

// The screen package, loaded at run time by file name; the host never links it. The
// entry point IniProc and the package's exports are found by name.
class PackageLoader
{
public:
    PackageLoader() = default;
    ~PackageLoader();
    PackageLoader(const PackageLoader &) = delete;
    PackageLoader &operator=(const PackageLoader &) = delete;

    // Pkg_Qor12700.so beside the executable.
    static QString defaultPath();

    // Loads the package and resolves IniProc. On failure returns false with a Portuguese
    // message in errorText(); the host carries on without the package.
    bool load(const QString &path);
    bool isLoaded() const { return m_iniProc != nullptr; }
    const QString &errorText() const { return m_error; }
    QString fileName() const { return m_library.fileName(); }

    // Calls IniProc; false when the package is not loaded or IniProc reported a failure
    // (it has told the user through the application's error handler).
    bool iniProc(const QVariant &params) const;
    // The package's version text ("6.05.002"), empty when it does not say.
    QString version() const;
    // The screen context's boPrimVez: true while the opened screen has not loaded yet.
    // False when the package does not export it.
    bool screenPending() const;
    // boIdCriado: a screen exists.
    bool screenCreated() const;

    // Unloads the package (its unit finalization runs); forms it made must be gone.
    void unload();

private:
    QLibrary m_library;
    QString m_error;
    bool (*m_iniProc)(const QVariant &) = nullptr;
    const char *(*m_version)() = nullptr;
    const bool *m_primVez = nullptr;
    const bool *m_idCriado = nullptr;
};

} // namespace qor
