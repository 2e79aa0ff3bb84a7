#pragma once

#include <QDataStream>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

/**
 * Keeps a single copy of the program running and lets local clients ask that
 * copy to open a file. A client sends one QDataStream-serialised QString
 * (stream version 17) of the form "@Rastova <path>".
 */
class LocalServer : public QObject
{
    Q_OBJECT

  public:
    //! Largest message a client may announce; longer ones are refused and the connection closed.
    static constexpr quint32 maximumMessageBytes = 64 * 1024;
    //! Time a client has to send its message before it is disconnected.
    static constexpr int clientTimeoutMs = 3000;
    //! Clients served at once; further ones are disconnected straight away.
    static constexpr int maximumClients = 32;

    explicit LocalServer( QObject *parent = nullptr );
    ~LocalServer() override;

    //! Sets the socket name used by isRunning(), start() and message checking.
    void setServerName( const QString &name );
    //! Whether another process already listens under the server name.
    bool isRunning();
    //! Removes a stale socket of the server name and listens on it; false when listening fails.
    bool start();

  signals:
    //! A client asked to open \a message (the text after the key).
    void messageFromServer( const QString &message );

  private slots:
    void newConnection();
    void readMessage();

  private:
    bool refuseOversizedMessage( QLocalSocket *socket );

    QString mServerName;
    QDataStream mInput;
    QLocalServer *mServer = nullptr;
};
