// SPDX-License-Identifier: MIT
#pragma once

// The panel's command line, read before the window system is reached so that --help,
// --version and usage errors work without a display. By option group: the options and the
// usage text; the tools that end at once (--help, --version, --list-ports); the ports and
// settings of this run (--config, --port, --from-menu, --trace, --reconnect, --demo); Find the
// matrix
// (--find, --yes), which ends once it has; the control socket and running headless
// (--control, --headless); the web page (--web); MQTT (--mqtt).
//
// Each step returns the program's exit status when the program ends there (2 for a usage
// error, 78 for an error in the file --config names), nothing when it goes on.

#include "listenaddress.h"
#include "mqttsettings.h"
#include "portmap.h"
#include "usersettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <optional>

// What this run does, from the command line and the settings file.
struct RunChoices
{
    UserSettings settings;
    PortMap ports;
    std::optional<ListenAddress> control;
    std::optional<ListenAddress> web; // where the web page is served; TCP only
    bool webRequireKey = false;       // [web] require_key: a key on a loopback address too
    std::optional<MqttSettings> mqtt;
    bool mqttAsked = false; // an MQTT address was given, usable or not
    bool headless = false;
    bool reconnect = false;
    bool demo = false;
    bool configured = false; // --config: one file per matrix, as a service runs it
    QString stateDirectory;  // systemd's for this service; empty outside one
};

// The exit status for an error in the settings file --config names: systemd's (and
// sysexits.h's) "configuration error", which a unit need not restart for.
constexpr int configurationError = 78;

class CommandLine
{
public:
    CommandLine();

    // Reads the arguments; ends the program for --help, --version, --list-ports and a command
    // line that is not understood.
    std::optional<int> read(int argc, char **argv);
    // The settings file first, --port over it for this run; then --from-menu and --trace,
    // which apply at once.
    std::optional<int> readPortsAndSettings(RunChoices &run) const;
    // --find: asks the devices of this computer and of the port map and ends.
    std::optional<int> findMatrix(int &argc, char **argv, const RunChoices &run) const;
    // The control socket (--control, else listen= in the settings file) and --headless, and
    // whether the window can be shown.
    std::optional<int> readControlSocket(RunChoices &run) const;
    // The web page (--web, else listen= and require_key= in the [web] group); before
    // readControlSocket, since --headless may be driven by the page alone.
    std::optional<int> readWebPage(RunChoices &run) const;
    // MQTT (--mqtt, else the [mqtt] group); an address it cannot use is one line on standard
    // error, and the panel runs without MQTT (under --config, an unusable url= in the file
    // ends it). Before readControlSocket, which --headless needs.
    std::optional<int> readMqtt(RunChoices &run) const;

private:
    void addRunOptions();
    void addControlOptions();
    int usageError(const QString &message) const;
    // An error in a value the settings file gave: a usage error, or under --config a
    // configuration error.
    int settingsError(const QString &message) const;
    std::optional<int> readSettingsFile(RunChoices &run) const;
    QString usage() const;

    QCommandLineParser m_parser;
    const QCommandLineOption m_help;
    const QCommandLineOption m_version;
    const QCommandLineOption m_config;
    const QCommandLineOption m_port;
    const QCommandLineOption m_listPorts;
    const QCommandLineOption m_fromMenu;
    const QCommandLineOption m_reconnect;
    const QCommandLineOption m_trace;
    const QCommandLineOption m_demo;
    const QCommandLineOption m_find;
    const QCommandLineOption m_yes;
    const QCommandLineOption m_control;
    const QCommandLineOption m_headless;
    const QCommandLineOption m_web;
    const QCommandLineOption m_mqtt;
};
