#include "Core/LocalServer.h"

#include "Core/Constants.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QtEndian>
#include <QTimer>

namespace
{
constexpr int streamVersion = 17;
constexpr quint32 nullStringLength = 0xFFFFFFFF;
constexpr int connectTimeoutMs = 500;
} // namespace

LocalServer::LocalServer( QObject *parent )
    : QObject( parent )
    , mServerName( Constants::applicationName )
    , mServer( new QLocalServer( this ) )
{
  // Only processes of the same user may ask us to open files.
  mServer->setSocketOptions( QLocalServer::UserAccessOption );
  connect( mServer, &QLocalServer::newConnection, this, &LocalServer::newConnection );
}

LocalServer::~LocalServer()
{
  mServer->close();
}

void LocalServer::setServerName( const QString &name )
{
  mServerName = name;
}

bool LocalServer::isRunning()
{
  QLocalSocket socket;
  socket.connectToServer( mServerName, QIODevice::ReadWrite );
  const bool running = socket.isOpen() || socket.waitForConnected( connectTimeoutMs );
  socket.abort();
  return running;
}

bool LocalServer::start()
{
  QLocalServer::removeServer( mServerName );
  const bool listening = mServer->listen( mServerName );
  if ( !listening )
    qWarning() << "Local server cannot listen on" << mServerName << ":" << mServer->errorString();
  return listening;
}

void LocalServer::newConnection()
{
  while ( QLocalSocket *socket = mServer->nextPendingConnection() )
  {
    // Clients that never finish, or come in a flood, would otherwise hold our descriptors for good.
    if ( mServer->findChildren<QLocalSocket *>( QString(), Qt::FindDirectChildrenOnly ).size() > maximumClients )
    {
      qWarning() << "Local server is busy and turned a client away";
      socket->abort();
      socket->deleteLater();
      continue;
    }
    connect( socket, &QLocalSocket::readyRead, this, &LocalServer::readMessage );
    connect( socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater );
    QTimer::singleShot( clientTimeoutMs, socket,
                        [socket]
                        {
                          socket->abort();
                          socket->deleteLater();
                        } );
  }
}

bool LocalServer::refuseOversizedMessage( QLocalSocket *socket )
{
  quint32 announced = 0;
  if ( socket->peek( reinterpret_cast<char *>( &announced ), sizeof announced ) != sizeof announced )
    return false;
  announced = qFromBigEndian( announced );
  if ( announced == nullStringLength || announced <= maximumMessageBytes )
    return false;
  qWarning() << "Local server refused a message of" << announced << "bytes";
  socket->abort();
  return true;
}

void LocalServer::readMessage()
{
  auto *socket = qobject_cast<QLocalSocket *>( sender() );
  if ( !socket )
    return;

  // Every complete message waiting on the socket is handled now, so a client
  // that writes several at once does not have to write again to be heard.
  while ( socket->bytesAvailable() > 0 && !refuseOversizedMessage( socket ) )
  {
    mInput.setDevice( socket );
    mInput.setVersion( streamVersion );
    mInput.resetStatus();
    mInput.startTransaction();
    QString message;
    mInput >> message;
    qInfo().nospace() << "Server before commit: " << message;
    if ( !mInput.commitTransaction() )
    {
      if ( mInput.status() != QDataStream::ReadPastEnd )
      {
        qWarning() << "Local server dropped a connection that sent malformed data";
        socket->abort();
      }
      return;
    }
    qInfo().nospace() << "Server after commit: " << message;

    if ( message.startsWith( QLatin1Char( '@' ) ) )
    {
      const int space = message.indexOf( QLatin1Char( ' ' ) );
      const QString key = message.mid( 1, space < 0 ? -1 : space - 1 );
      if ( key == mServerName )
      {
        // Opening the file may run the event loop, which can delete the socket.
        const QPointer<QLocalSocket> alive( socket );
        emit messageFromServer( space < 0 ? message : message.mid( space + 1 ) );
        if ( !alive )
          return;
      }
    }
  }
}
