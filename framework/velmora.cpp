#include "velmora.h"

#include "rtl/ownerfile.h"
#include "rtl/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <limits>
#include <optional>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// The text after the '=' on the key's line of the INI file, trimmed; null when no line
// holds the key. The last such line counts, as it does for QSettings.
QString lineValue(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString section;
    QString found;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).trimmed();
            if (section.compare("General"_L1, Qt::CaseInsensitive) == 0)
                section.clear();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString name = line.left(equals).trimmed().replace(u'\\', u'/');
        if ((section.isEmpty() ? name : section + u'/' + name) == key)
            found = line.mid(equals + 1).trimmed();
    }
    return found;
}

QVariant fileValue(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    // An INI value holding a comma comes back as a list, without the blanks around each
    // comma: a folder "Clínica, Centro" would name another one. The text as written is
    // taken from the file's line when it is that list's (no quotes or escapes in it).
    if (value.typeId() == QMetaType::QStringList) {
        const QString joined = value.toStringList().join(u',');
        static const QRegularExpression blanksAroundCommas(u"\\s*,\\s*"_s);
        const QString written = lineValue(settings.fileName(), key);
        if (QString(written).replace(blanksAroundCommas, u","_s) == joined)
            return written;
        return joined;
    }
    return value;
}

// The values of the SettingsSnapshot in force on this thread, if any.
thread_local std::optional<QHash<QString, QVariant>> t_snapshot;

// A fresh QSettings each time: the file is read anew, so the getters see changes made
// by another process (the start script, a test) since the last read. A named pipe or a
// device in its place is never opened: its first read would wait forever. The defaults
// answer instead, and SettingsFileProblem() says why.
QVariant readSetting(const QString &key)
{
    if (t_snapshot)
        return t_snapshot->value(key);
    const QString path = SettingsPath();
    if (!RegularOrAbsent(path))
        return {};
    QSettings settings(path, QSettings::IniFormat);
    return fileValue(settings, key);
}

int positiveInt(const QString &key, int fallback, int maximum = std::numeric_limits<int>::max())
{
    bool ok = false;
    const int value = readSetting(key).toString().trimmed().toInt(&ok);
    return ok && value > 0 && value <= maximum ? value : fallback;
}

bool writeValues(const QList<std::pair<QString, QString>> &values, QString *error)
{
    const QString path = SettingsPath();
    if (!RegularOrAbsent(path)) {
        if (error)
            *error = SettingsFileProblem();
        return false;
    }
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        if (error)
            *error =
                u"Não foi possível criar a pasta das configurações: %1"_s.arg(info.absolutePath());
        return false;
    }
    // The file may hold the installation's token (an existing file keeps the mode it
    // has, which QSettings preserves when it rewrites).
    CreateOwnerOnlyFile(path);
    QSettings settings(path, QSettings::IniFormat);
    for (const auto &[key, value] : values)
        settings.setValue(key, value);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        if (error)
            *error = u"Não foi possível gravar as configurações em %1."_s.arg(path);
        return false;
    }
    return true;
}

} // namespace

SettingsSnapshot::SettingsSnapshot()
    : m_outermost(!t_snapshot)
{
    if (!m_outermost)
        return;
    QHash<QString, QVariant> values;
    const QString path = SettingsPath();
    if (!RegularOrAbsent(path)) {
        t_snapshot = std::move(values);
        return;
    }
    QSettings settings(path, QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        values.insert(key, fileValue(settings, key));
    t_snapshot = std::move(values);
}

SettingsSnapshot::~SettingsSnapshot()
{
    if (m_outermost)
        t_snapshot.reset();
}

QString SettingsPath()
{
    const QString fromEnv = qEnvironmentVariable("QOR_SETTINGS");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + u"/qor/qor-host.ini"_s;
}

QString SettingsFileProblem()
{
    const QString path = SettingsPath();
    if (!RegularOrAbsent(path))
        return u"O arquivo de configurações %1 não é um arquivo comum."_s.arg(path);
    // A file there that cannot be read would leave every key at its default: the host
    // went to another server, said the token was never set and made a new, empty
    // catalogue, while the file the user wrote names them all.
    if (QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return u"O arquivo de configurações %1 não pode ser lido."_s.arg(path);
    }
    return {};
}

QString WebURL()
{
    const QString host = readSetting(u"server/host"_s).toString().trimmed();
    return host.isEmpty() ? u"127.0.0.1"_s : host;
}

int WebPort()
{
    return positiveInt(u"server/port"_s, 7400, 65535);
}

QString WebToken()
{
    const QString token = readSetting(u"server/token"_s).toString().trimmed();
    if (!token.isEmpty())
        return token;
    const QString tokenFile = readSetting(u"server/tokenFile"_s).toString().trimmed();
    if (tokenFile.isEmpty())
        return {};
    // Only a regular file: opening a named pipe would wait for a writer forever, and a
    // device may never end its first line.
    if (!QFileInfo(tokenFile).isFile())
        return {};
    QFile file(tokenFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readLine()).trimmed();
}

QString WebTokenProblem()
{
    if (!WebToken().isEmpty())
        return {};
    const QString tokenFile = readSetting(u"server/tokenFile"_s).toString().trimmed();
    if (tokenFile.isEmpty())
        return u"O token de acesso ao servidor de aplicação não está configurado: "
               u"informe server/token ou server/tokenFile em %1."_s.arg(SettingsPath());
    const QFileInfo info(tokenFile);
    if (!info.exists())
        return u"Arquivo do token de acesso não encontrado: %1."_s.arg(tokenFile);
    QFile file(tokenFile);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return u"O arquivo do token de acesso %1 não pode ser lido."_s.arg(tokenFile);
    return u"O arquivo do token de acesso %1 está vazio."_s.arg(tokenFile);
}

namespace {

bool tlsOn(const QString &text)
{
    return text == "true"_L1 || text == "1"_L1 || text == "yes"_L1 || text == "on"_L1;
}

bool tlsOff(const QString &text)
{
    return text.isEmpty() || text == "false"_L1 || text == "0"_L1 || text == "no"_L1
        || text == "off"_L1;
}

} // namespace

bool WebTls()
{
    return tlsOn(readSetting(u"server/tls"_s).toString().trimmed().toLower());
}

QString WebSettingsProblem()
{
    if (const QString problem = SettingsFileProblem(); !problem.isEmpty())
        return problem;
    const QString port = readSetting(u"server/port"_s).toString().trimmed();
    if (!port.isEmpty()) {
        bool ok = false;
        const int number = port.toInt(&ok);
        if (!ok || number < 1 || number > 65535)
            return u"O valor de server/port em %1 não é uma porta válida (de 1 a 65535): "
                   u"'%2'."_s.arg(SettingsPath(), port);
    }
    const QString tls = readSetting(u"server/tls"_s).toString().trimmed();
    if (!tlsOn(tls.toLower()) && !tlsOff(tls.toLower()))
        return u"O valor de server/tls em %1 não é reconhecido: '%2' (use true ou false)."_s.arg(
            SettingsPath(), tls);
    return {};
}

QString WebCaFile()
{
    return readSetting(u"server/caFile"_s).toString().trimmed();
}

int WebConnectTimeoutMs()
{
    return positiveInt(u"server/connectTimeoutMs"_s, 5000);
}

int WebCallTimeoutMs()
{
    return positiveInt(u"server/callTimeoutMs"_s, 30000);
}

QString CatalogueURI()
{
    const QString uri = readSetting(u"catalogue/uri"_s).toString().trimmed();
    // "~/" as the sample settings write the default: the user's home folder, not a
    // folder named "~" under wherever the host was started, with a new empty file in it.
    if (uri.startsWith(u"sqlite:~/"_s))
        return u"sqlite:"_s + QDir::homePath() + uri.mid(8);
    if (!uri.isEmpty())
        return uri;
    return u"sqlite:"_s + QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + u"/qor/catalogue.db"_s;
}

bool WriteHostSettings(const HostSettings &s, QString *error)
{
    QList<std::pair<QString, QString>> values;
    auto text = [&](const QString &key, const QString &value) {
        if (!value.isEmpty())
            values.append({key, value});
    };
    auto number = [&](const QString &key, int value) {
        if (value > 0)
            values.append({key, QString::number(value)});
    };
    text(u"server/host"_s, s.host);
    number(u"server/port"_s, s.port);
    text(u"server/token"_s, s.token);
    text(u"server/tokenFile"_s, s.tokenFile);
    values.append({u"server/tls"_s, s.tls ? u"true"_s : u"false"_s});
    text(u"server/caFile"_s, s.caFile);
    number(u"server/connectTimeoutMs"_s, s.connectTimeoutMs);
    number(u"server/callTimeoutMs"_s, s.callTimeoutMs);
    text(u"catalogue/uri"_s, s.catalogueUri);
    return writeValues(values, error);
}

bool WriteSetting(const QString &key, const QString &value, QString *error)
{
    return writeValues({{key, value}}, error);
}

} // namespace qor
