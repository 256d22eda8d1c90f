// The local socket between a first and a later start.
#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>

#include <unistd.h>

namespace kreisel {

namespace {
constexpr const char* kActivate = "activate\n";
}

QString SingleInstance::DefaultSocketPath() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QDir(QString::fromLocal8Bit(runtime)).filePath(QStringLiteral("kreisel.instance"));
    return QStringLiteral("/tmp/kreisel-%1.instance").arg(::getuid());
}

SingleInstance::SingleInstance(QString socketPath) : path_(std::move(socketPath)) {
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
}

bool SingleInstance::OtherInstanceRunning() {
    QLocalSocket probe;
    probe.connectToServer(path_);
    if (probe.waitForConnected(500)) {
        probe.write(kActivate);
        probe.waitForBytesWritten(1000);
        probe.disconnectFromServer();
        return true;
    }
    QLocalServer::removeServer(path_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(path_);
    return false;
}

void SingleInstance::BringToFront(QWidget* window, Dialogs& dialogs) {
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
    dialogs.ShowMessage("Programm \"Kreisel\" wurde schon gestartet! Erst-Instanz aktiviert!");
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().contains("activate")) return;
            if (Activate) Activate();
        });
    }
}

} // namespace kreisel
