#pragma once

#include <QApplication>
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <memory>
#include <vector>

namespace pellion::test {

// One application object for the whole test program, under the offscreen platform.
inline QApplication& updateTestApp() {
    static int argc = 1;
    static char name[] = "test_update";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Declare first in a fixture so the application exists before any other member.
struct WithTestApp {
    WithTestApp() { updateTestApp(); }
};

// A tiny HTTP server on 127.0.0.1, served by the event loop of the thread that made it.
class LoopbackHttpServer {
  public:
    LoopbackHttpServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
    }

    void answer(int status, QByteArray body) {
        status_ = status;
        body_ = std::move(body);
        neverAnswer_ = false;
    }
    void neverAnswer() { neverAnswer_ = true; }

    QUrl url(const QString& path = QStringLiteral("/announcement.html")) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }
    int connections() const { return connections_; }
    int openConnections() const {
        int open = 0;
        for (const auto& socket : sockets_) {
            open += socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
        }
        return open;
    }
    const QList<QByteArray>& requestHeads() const { return heads_; }

  private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            ++connections_;
            sockets_.emplace_back(socket);
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0) {
                    return;
                }
                heads_.append(buffer->left(end));
                buffer->clear();
                if (!neverAnswer_) {
                    reply(*socket);
                }
            });
        }
    }

    void reply(QTcpSocket& socket) {
        QByteArray response = "HTTP/1.1 " + QByteArray::number(status_) + " Answer\r\n";
        response += "Content-Type: text/html; charset=utf-8\r\n";
        response += "Content-Length: " + QByteArray::number(body_.size()) + "\r\n";
        response += "Connection: close\r\n\r\n";
        response += body_;
        socket.write(response);
        socket.disconnectFromHost();
    }

    QTcpServer server_;
    std::vector<std::unique_ptr<QTcpSocket>> sockets_;
    QList<QByteArray> heads_;
    int connections_ = 0;
    int status_ = 200;
    QByteArray body_;
    bool neverAnswer_ = false;
};

// A port on 127.0.0.1 where nothing listens: connections are refused at once.
inline quint16 refusingPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A listener whose accept queue is full, so a new connection is never completed.
class StalledListener {
  public:
    StalledListener();
    ~StalledListener();
    QUrl url() const;

  private:
    int listener_ = -1;
    std::vector<int> fillers_;
    quint16 port_ = 0;
};

}  // namespace pellion::test
