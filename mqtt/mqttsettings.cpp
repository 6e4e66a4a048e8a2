// SPDX-License-Identifier: MIT
#include "mqttsettings.h"

#include <QUrl>

#include <algorithm>

namespace {

constexpr qsizetype maxIdLength = 64;
constexpr qsizetype maxPrefixBytes = 128;

bool isIdCharacter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'_';
}

// The id names the device in discovery topics, where Home Assistant takes only these.
bool isId(const QString &id)
{
    if (id.isEmpty() || id.size() > maxIdLength)
        return false;
    return std::all_of(id.cbegin(), id.cend(), isIdCharacter);
}

struct Address
{
    MqttSettings settings;
    bool hasPassword = false;
    QString error;
};

Address readAddress(const QString &text)
{
    Address address;
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"mqtt" && scheme != u"mqtts")) {
        address.error = QStringLiteral("\"%1\" is no mqtt://[USER[:PASSWORD]@]HOST[:PORT] or "
                                       "mqtts://... address")
                            .arg(withoutPassword(text));
        return address;
    }
    if (url.host().isEmpty()) {
        address.error = QStringLiteral("\"%1\" names no host").arg(url.toDisplayString());
        return address;
    }
    if ((!url.path().isEmpty() && url.path() != u"/") || url.hasQuery() || url.hasFragment()) {
        address.error = QStringLiteral("\"%1\" has more than user, host and port")
                            .arg(url.toDisplayString(QUrl::RemovePassword));
        return address;
    }
    MqttSettings &s = address.settings;
    s.tls = scheme == u"mqtts";
    s.host = url.host();
    const int port = url.port(s.tls ? 8883 : 1883);
    if (port <= 0 || port > 65535) {
        address.error = QStringLiteral("\"%1\" has no port 1-65535")
                            .arg(url.toDisplayString(QUrl::RemovePassword));
        return address;
    }
    s.port = quint16(port);
    s.user = url.userName(QUrl::FullyDecoded);
    s.password = url.password(QUrl::FullyDecoded);
    address.hasPassword = !url.password().isEmpty();
    return address;
}

} // namespace

QString defaultMqttId(const QString &hostName)
{
    QString id = QStringLiteral("velquor-") + hostName.left(maxIdLength - 8);
    for (QChar &c : id) {
        if (!isIdCharacter(c))
            c = u'-';
    }
    return id;
}

QString withoutPassword(const QString &address)
{
    // Taken apart by hand: text that is no valid URL may still hold a password.
    const qsizetype at = address.lastIndexOf(u'@');
    if (at < 0)
        return address;
    const qsizetype scheme = address.indexOf(QStringLiteral("://"));
    const qsizetype userStart = scheme >= 0 && scheme < at ? scheme + 3 : 0;
    const qsizetype colon = address.indexOf(u':', userStart);
    if (colon < 0 || colon > at)
        return address;
    return address.left(colon + 1) + QStringLiteral("***") + address.mid(at);
}

bool topicsOverlap(const QString &a, const QString &b)
{
    const auto under = [](const QString &inner, const QString &outer) {
        return inner == outer || inner.startsWith(outer + u'/');
    };
    return under(a, b) || under(b, a);
}

bool isTopicPrefix(const QString &text)
{
    if (text.isEmpty() || text.toUtf8().size() > maxPrefixBytes || text.startsWith(u'$'))
        return false;
    if (text.contains(u'+') || text.contains(u'#') || text.contains(QChar(0)))
        return false;
    const QStringList levels = text.split(u'/');
    return std::none_of(levels.cbegin(), levels.cend(),
                        [](const QString &level) { return level.isEmpty(); });
}

namespace {

// The base topic, the discovery prefix and the birth topic into s; why they cannot serve, or
// empty.
QString readTopics(const MqttSources &sources, MqttSettings &s)
{
    s.base = sources.topic.isEmpty() ? QStringLiteral("velquor/") + s.id : sources.topic;
    if (!isTopicPrefix(s.base))
        return QStringLiteral("topic \"%1\" cannot be a base topic (no + or #, no empty "
                              "level, no leading $, at most %2 bytes)")
            .arg(s.base)
            .arg(maxPrefixBytes);
    const QString discovery =
        sources.discovery.isEmpty() ? QStringLiteral("homeassistant") : sources.discovery;
    if (discovery.compare(u"off", Qt::CaseInsensitive) == 0)
        return {};
    if (!isTopicPrefix(discovery))
        return QStringLiteral("discovery \"%1\" cannot be a prefix").arg(discovery);
    if (topicsOverlap(s.base, discovery))
        return QStringLiteral("topic \"%1\" and discovery \"%2\" overlap: the panel would read "
                              "its own messages as Home Assistant's")
            .arg(s.base, discovery);
    s.discovery = discovery;
    if (!sources.birthTopic.isEmpty())
        s.birthTopic = sources.birthTopic;
    if (!isTopicPrefix(s.birthTopic))
        return QStringLiteral("birth_topic \"%1\" cannot be a topic").arg(s.birthTopic);
    if (topicsOverlap(s.birthTopic, s.base))
        return QStringLiteral("birth_topic \"%1\" lies under topic \"%2\": the panel's own "
                              "status would read as Home Assistant's")
            .arg(s.birthTopic, s.base);
    return {};
}

} // namespace

MqttChoice readMqttSettings(const MqttSources &sources)
{
    MqttChoice choice;
    const bool fromCommandLine = !sources.commandLineUrl.isEmpty();
    const QString text = fromCommandLine ? sources.commandLineUrl : sources.url;
    if (text.isEmpty())
        return choice;
    const QString origin = fromCommandLine
                               ? QStringLiteral("--mqtt")
                               : QStringLiteral("url= in [mqtt] of %1").arg(sources.settingsPath);
    const auto refuse = [&](const QString &why) {
        choice.error = QStringLiteral("MQTT is off: %1: %2").arg(origin, why);
        return choice;
    };

    Address address = readAddress(text);
    if (!address.error.isEmpty())
        return refuse(address.error);
    MqttSettings s = address.settings;
    bool passwordInFile = address.hasPassword && !fromCommandLine;
    if (!address.hasPassword && !sources.password.isEmpty()) {
        s.password = sources.password;
        passwordInFile = true;
    }
    if (!s.password.isEmpty() && s.user.isEmpty())
        return refuse(QStringLiteral("a password needs a user name (USER:PASSWORD@HOST)"));

    s.cafile = sources.cafile;
    if (!s.cafile.isEmpty() && !s.tls)
        return refuse(QStringLiteral("cafile= in [mqtt] needs an mqtts:// address"));

    s.id = sources.id.isEmpty() ? defaultMqttId(sources.hostName) : sources.id;
    if (!isId(s.id))
        return refuse(QStringLiteral("id \"%1\" is not 1 to %2 letters, digits, '-' or '_'")
                          .arg(s.id)
                          .arg(maxIdLength));
    if (const QString why = readTopics(sources, s); !why.isEmpty())
        return refuse(why);

    if (fromCommandLine && address.hasPassword)
        choice.warnings.append(QStringLiteral("--mqtt holds the MQTT password, which every local "
                                              "user can read in the process list; put it in "
                                              "password= in [mqtt] of %1 instead")
                                   .arg(sources.settingsPath));
    if (passwordInFile && sources.settingsReadableByOthers)
        choice.warnings.append(QStringLiteral("%1 holds the MQTT password and others may read it "
                                              "(chmod 600 it)")
                                   .arg(sources.settingsPath));
    choice.settings = s;
    return choice;
}
