#include "Gui/UpdateCheck.h"

#include "Core/Constants.h"
#include "Core/Platform.h"
#include "Core/Utils.h"
#include "Gui/MessageBox.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>

namespace
{
// A manifest is a few hundred bytes; anything far larger is not one.
constexpr qint64 largestManifestBytes = 1024 * 1024;
constexpr int updateTimeoutMs = 30000;

QString updateIcon()
{
  return Utils::iconPath( QStringLiteral( "Freshkit.svg" ) );
}
} // namespace

UpdateCheck::UpdateCheck( QWidget *window )
    : QObject( window )
    , mWindow( window )
    , mNetwork( new QNetworkAccessManager( this ) )
{
}

void UpdateCheck::fetch()
{
  const QUrl url(
      qEnvironmentVariable( qPrintable( Constants::updateManifestUrlVariable ), Constants::updateManifestUrl ),
      QUrl::TolerantMode );
  QNetworkRequest request( url );
  request.setTransferTimeout( updateTimeoutMs );
  QNetworkReply *reply = mNetwork->get( request );
  connect( reply, &QNetworkReply::downloadProgress, reply,
           [reply]( qint64 received, qint64 )
           {
             if ( received > largestManifestBytes )
               reply->abort();
           } );
  connect( reply, &QNetworkReply::finished, this,
           [this, reply]
           {
             reply->deleteLater();
             handleReply( reply );
           } );
}

void UpdateCheck::handleReply( QNetworkReply *reply )
{
  if ( reply->error() != QNetworkReply::NoError )
    return;
  const QJsonDocument manifest = QJsonDocument::fromJson( reply->readAll() );
  if ( !manifest.isObject() )
    return;

  // Keys sort as text, where 2.1.9.1 comes after 2.1.10.1, so every key is compared as a version.
  const QJsonObject versions = manifest.object();
  QString newest = Constants::version;
  for ( auto it = versions.constBegin(); it != versions.constEnd(); ++it )
  {
    if ( Utils::isNewerVersion( newest, it.key() ) )
      newest = it.key();
  }
  if ( newest == Constants::version )
  {
    mAnswer = Answer::UpToDate;
    return;
  }
  mAnswer = Answer::Newer;
  const QString releaseDate = versions.value( newest ).toObject().value( QStringLiteral( "release-date" ) ).toString();
  MessageBox notice( mWindow, Constants::applicationName,
                     QStringLiteral( "Rastova đã có phiên bản mới %1 (%2), hãy sử dụng chức năng cập nhật." )
                         .arg( newest, releaseDate ),
                     updateIcon(), QDialogButtonBox::Ok );
  notice.exec();
}

bool UpdateCheck::tellIfUpToDate()
{
  // Quitting for an updater that would find nothing only loses the user's place.
  if ( mAnswer != Answer::UpToDate )
    return false;
  MessageBox notice( mWindow, Constants::applicationName,
                     QStringLiteral( "Rastova %1 đã là phiên bản mới nhất." ).arg( Constants::version ), updateIcon(),
                     QDialogButtonBox::Ok );
  notice.exec();
  return true;
}

bool UpdateCheck::handOver()
{
  MessageBox question( mWindow, Constants::applicationName,
                       QStringLiteral( "Phần mềm sẽ thoát để thực hiện cập nhật. Bạn có muốn thoát không?" ),
                       updateIcon(), QDialogButtonBox::Yes | QDialogButtonBox::No );
  if ( question.exec() != QDialog::Accepted )
    return false;

  const QJsonObject parameters{ { QStringLiteral( "current-version" ), Constants::version },
                                { QStringLiteral( "release-date" ), Constants::releaseDate },
                                { QStringLiteral( "software-name" ), Constants::applicationName } };
  {
    // Closed before the updater starts, so that it finds the whole file.
    QSaveFile file( Constants::updateParameterFile );
    if ( !file.open( QIODevice::WriteOnly | QIODevice::Text ) ||
         file.write( QJsonDocument( parameters ).toJson( QJsonDocument::Indented ) ) < 0 || !file.commit() )
      qWarning() << "Cannot write the updater's parameters to" << Constants::updateParameterFile;
  }
  Platform::startUpdater();
  return true;
}
