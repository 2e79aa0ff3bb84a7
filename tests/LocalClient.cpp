// Sends one message to a running Rastova, as any local client would:
//   rastova-send "@Rastova /path/to/file.tif"
#include <QCoreApplication>
#include <QDataStream>
#include <QLocalSocket>

#include <cstdio>

int main( int argc, char *argv[] )
{
  QCoreApplication application( argc, argv );
  if ( argc != 2 )
  {
    std::fprintf( stderr, "usage: %s MESSAGE\n", argv[0] );
    return 2;
  }
  QLocalSocket socket;
  socket.connectToServer( QStringLiteral( "Rastova" ) );
  if ( !socket.waitForConnected( 5000 ) )
  {
    std::fprintf( stderr, "no running copy: %s\n", qPrintable( socket.errorString() ) );
    return 1;
  }
  QByteArray bytes;
  QDataStream stream( &bytes, QIODevice::WriteOnly );
  stream.setVersion( 17 );
  stream << QString::fromUtf8( argv[1] );
  socket.write( bytes );
  const bool sent = socket.waitForBytesWritten( 5000 );
  socket.disconnectFromServer();
  return sent ? 0 : 1;
}
