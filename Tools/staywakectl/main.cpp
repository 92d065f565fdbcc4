// staywakectl: scripts Staywake over the session bus.

#include "AppClient.h"
#include "HeldCommand.h"
#include "StaywakeCore/Control/ControlCommand.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace staywake {
namespace {

constexpr int failed = 1;
constexpr int misused = 2;

const char* const usage = R"(Usage: staywakectl COMMAND [OPTIONS]

Keeps the computer awake through the running Staywake.

Commands:
  status [--json]            what Staywake is doing, as a line or a JSON object
  on [--for LENGTH | --until HH:MM]
                             keep awake with no limit, for LENGTH (1h30m, 45m,
                             90s; at most 720h) or until the next time the
                             clock shows HH:MM (tomorrow when it has passed)
  off                        end the session
  nightbrew on|off           keep awake with the lid closed, or stop
  run [--why TEXT] -- COMMAND [ARGUMENTS...]
                             keep awake while COMMAND runs; SIGINT and SIGTERM
                             are passed on to it
  inhibitors                 everything that holds off sleep or idle now: logind's
                             locks and, in a GNOME session, the session's own

Exit status:
  0    done
  1    no session bus, Staywake not reachable, or Staywake refused
  2    the command line is wrong (nothing was changed)
  run: the command's own status (126/127 when it could not be run)
)";

void say(const QString& line) { std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData()); }

int complain(const QString& sentence, int status) {
    std::fprintf(stderr, "%s\n", sentence.toLocal8Bit().constData());
    return status;
}

int misuse(const QString& sentence) {
    return complain(QStringLiteral("staywakectl: %1 (see staywakectl --help)").arg(sentence), misused);
}

QList<QVariantMap> holdList(const QVariant& value) {
    return value.canConvert<QDBusArgument>() ? qdbus_cast<QList<QVariantMap>>(value.value<QDBusArgument>())
                                             : value.value<QList<QVariantMap>>();
}

int status(const AppClient& app, bool json) {
    QString error;
    const auto values = app.properties(error);
    if (!values) {
        return complain(error, failed);
    }
    const auto holds = holdList(values->value(QStringLiteral("Holds")));
    if (json) {
        QJsonObject object = QJsonObject::fromVariantMap(*values);
        QJsonArray holdArray;
        for (const auto& hold : holds) {
            holdArray.append(QJsonObject::fromVariantMap(hold));
        }
        object.insert(QStringLiteral("Holds"), holdArray);
        say(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        return 0;
    }
    QString line = values->value(QStringLiteral("Status")).toString();
    if (const auto failure = values->value(QStringLiteral("LastFailure")).toString(); !failure.isEmpty()) {
        line += QStringLiteral(" (%1)").arg(failure);
    }
    QStringList whys;
    for (const auto& hold : holds) {
        whys.append(hold.value(QStringLiteral("why")).toString());
    }
    if (!whys.isEmpty()) {
        line += QStringLiteral("; held for %1").arg(whys.join(QStringLiteral(", ")));
    }
    say(line);
    return 0;
}

/// A call to make once the whole command line has been read.
struct Request {
    QString method;
    QVariantList arguments;
};

int reply(const AppClient& app, const Request& request) {
    QString error;
    return app.call(request.method, request.arguments, error) ? 0 : complain(error, failed);
}

int run(const AppClient& app, const ControlCommand& command) {
    QString error;
    const auto held = app.call(QStringLiteral("Hold"), {QString::fromLocal8Bit(command.why.c_str())}, error);
    if (!held || held->isEmpty()) {
        return complain(error, failed);
    }
    const int exitStatus = HeldCommand::run(command.command);
    // The hold also ends when this process does; releasing says so sooner.
    app.call(QStringLiteral("Release"), {held->first()}, error);
    return exitStatus;
}

QString processName(uint pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : QStringLiteral("?");
}

/// GNOME's session inhibitors, where a GNOME session runs: they hold off
/// idle and suspend without logind knowing.
void desktopInhibitors() {
    QDBusConnection session = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.gnome.SessionManager");
    if (!session.isConnected() || !session.interface()->isServiceRegistered(service).value()) {
        return;
    }
    const auto ask = [&](const QString& path, const QString& interface, const QString& method) {
        const QDBusMessage answer =
            session.call(QDBusMessage::createMethodCall(service, path, interface, method), QDBus::Block, 5000);
        return answer.arguments().value(0);
    };
    const auto paths = qdbus_cast<QList<QDBusObjectPath>>(
        ask(QStringLiteral("/org/gnome/SessionManager"), service, QStringLiteral("GetInhibitors"))
            .value<QDBusArgument>());
    const std::pair<uint, const char*> flagNames[] = {
        {1, "logout"}, {2, "switch-user"}, {4, "suspend"}, {8, "idle"}, {16, "automount"}};
    const QString inhibitor = QStringLiteral("org.gnome.SessionManager.Inhibitor");
    for (const auto& path : paths) {
        const uint flags = ask(path.path(), inhibitor, QStringLiteral("GetFlags")).toUInt();
        QStringList what;
        for (const auto& [flag, name] : flagNames) {
            if (flags & flag) {
                what.append(QString::fromLatin1(name));
            }
        }
        say(QStringLiteral("%1\t%2\t%3\tblock\tdesktop session")
                .arg(ask(path.path(), inhibitor, QStringLiteral("GetAppId")).toString(),
                     ask(path.path(), inhibitor, QStringLiteral("GetReason")).toString(),
                     what.join(QLatin1Char(':'))));
    }
}

int inhibitors() {
    QDBusConnection system = QDBusConnection::systemBus();
    if (!system.isConnected()) {
        return complain(QStringLiteral("staywakectl: no system bus: %1").arg(system.lastError().message()),
                        failed);
    }
    const auto call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListInhibitors"));
    const QDBusMessage answer = system.call(call, QDBus::Block, 25000);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
        return complain(
            QStringLiteral("staywakectl: logind did not list its inhibitors: %1").arg(answer.errorMessage()),
            failed);
    }
    const auto list = answer.arguments().first().value<QDBusArgument>();
    list.beginArray();
    say(QStringLiteral("WHO\tWHY\tWHAT\tMODE\tPROCESS"));
    while (!list.atEnd()) {
        QString what, who, why, mode;
        uint uid = 0, pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        list.endStructure();
        say(QStringLiteral("%1\t%2\t%3\t%4\t%5 (%6)").arg(who, why, what, mode).arg(pid).arg(processName(pid)));
    }
    list.endArray();
    desktopInhibitors();
    return 0;
}

/// The call a command makes to the app; absent for those that make none.
std::optional<Request> request(const ControlCommand& command) {
    switch (command.kind) {
    case ControlCommand::Kind::turnOn:
        return Request{QStringLiteral("TurnOn"), {command.seconds}};
    case ControlCommand::Kind::turnOnUntil:
        return Request{QStringLiteral("TurnOnUntil"), {QVariant::fromValue(qint64(command.until))}};
    case ControlCommand::Kind::turnOff:
        return Request{QStringLiteral("TurnOff"), {}};
    case ControlCommand::Kind::nightBrewOn:
    case ControlCommand::Kind::nightBrewOff:
        return Request{QStringLiteral("SetNightBrew"), {command.kind == ControlCommand::Kind::nightBrewOn}};
    default:
        return std::nullopt;
    }
}

int control(const QStringList& arguments) {
    std::vector<std::string> words;
    for (const auto& argument : arguments) {
        words.push_back(argument.toLocal8Bit().toStdString());
    }
    const auto read = ControlCommand::read(words, std::time(nullptr));
    if (const auto* wrong = std::get_if<std::string>(&read)) {
        return misuse(QString::fromLocal8Bit(wrong->c_str()));
    }
    const auto& command = std::get<ControlCommand>(read);
    if (command.kind == ControlCommand::Kind::help) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (command.kind == ControlCommand::Kind::inhibitors) {
        return inhibitors();
    }
    const AppClient app(QDBusConnection::sessionBus());
    if (const QString problem = app.problem(); !problem.isEmpty()) {
        return complain(problem, failed);
    }
    if (command.kind == ControlCommand::Kind::run) {
        return run(app, command);
    }
    if (const auto call = request(command)) {
        return reply(app, *call);
    }
    return status(app, command.kind == ControlCommand::Kind::statusJson);
}

} // namespace
} // namespace staywake

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    qDBusRegisterMetaType<QList<QVariantMap>>();
    return staywake::control(QCoreApplication::arguments().mid(1));
}
