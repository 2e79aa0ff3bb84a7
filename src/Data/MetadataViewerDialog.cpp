#include "Data/MetadataViewerDialog.h"

#include "Core/Utils.h"

#include <QDesktopServices>
#include <QFileInfo>

#include <gdal_priv.h>
#include <qgsapplication.h>
#include <qgsmaplayer.h>
#include <qgsproviderregistry.h>
#include <qgsrasterlayer.h>

#include <memory>

namespace
{
//! What a satellite scene's layer says of its product (the scene reader writes it into the layer's VRT), as a table.
QString sceneSection( QgsMapLayer *layer )
{
  const auto *raster = qobject_cast<QgsRasterLayer *>( layer );
  if ( !raster || raster->providerType() != QLatin1String( "gdal" ) )
    return QString();
  const QString path = QgsProviderRegistry::instance()
                           ->decodeUri( raster->providerType(), raster->source() )
                           .value( QStringLiteral( "path" ) )
                           .toString();
  if ( !path.endsWith( QLatin1String( ".vrt" ), Qt::CaseInsensitive ) )
    return QString();
  const std::unique_ptr<GDALDataset> dataset(
      GDALDataset::Open( path.toUtf8().constData(), GDAL_OF_RASTER | GDAL_OF_READONLY ) );
  if ( !dataset || !dataset->GetMetadataItem( "SENSOR" ) )
    return QString();
  const auto item = [&dataset]( const char *key ) { return QString::fromUtf8( dataset->GetMetadataItem( key ) ); };
  const QDateTime acquired = QDateTime::fromString( item( "ACQUISITION_DATETIME" ), Qt::ISODateWithMs );
  const QString cloud = item( "CLOUD_COVER" );
  const QList<QPair<QString, QString>> rows = {
      { QStringLiteral( "Vệ tinh, bộ cảm" ), item( "SENSOR" ) },
      { QStringLiteral( "Thời điểm chụp" ),
        acquired.isValid() ? acquired.toUTC().toString( QStringLiteral( "dd/MM/yyyy HH:mm:ss 'UTC'" ) ) : QString() },
      { QStringLiteral( "Mây che phủ" ), cloud.isEmpty() ? QString() : cloud + QStringLiteral( " %" ) },
      { QStringLiteral( "Mức xử lý" ), item( "PROCESSING_LEVEL" ) },
      { QStringLiteral( "Phiên bản xử lý" ), item( "PROCESSING_BASELINE" ) },
      { QStringLiteral( "File siêu dữ liệu" ), item( "PRODUCT_METADATA" ) } };
  QString html = QStringLiteral( "<h1>Sản phẩm vệ tinh</h1>\n<hr>\n<table class=\"list-view\">\n" );
  for ( const auto &row : rows )
  {
    if ( !row.second.isEmpty() )
      html += QStringLiteral( "<tr><td class=\"highlight\">%1</td><td>%2</td></tr>\n" )
                  .arg( row.first, row.second.toHtmlEscaped() );
  }
  return html + QStringLiteral( "</table>\n<br><br>\n" );
}
} // namespace

MetadataViewerDialog::MetadataViewerDialog( QWidget *parent )
    : QDialog( parent )
{
  setupUi( this );
  setModal( true );
  setWindowFlag( Qt::WindowContextHelpButtonHint, false );
  textBrowser->document()->setDefaultStyleSheet(
      QgsApplication::reportStyleSheet( QgsApplication::StyleSheetType::Qt ) );
  textBrowser->setOpenLinks( false );
  connect( textBrowser, &QTextBrowser::anchorClicked, this, &MetadataViewerDialog::urlClicked );
  connect( cancelButton, &QPushButton::clicked, this, &QDialog::close );
}

void MetadataViewerDialog::showLayerMetadata( QgsMapLayer *layer )
{
  if ( layer && layer->isValid() )
  {
    QString html = layer->htmlMetadata();
    const int body = html.indexOf( QLatin1String( "<body>" ) );
    html.insert( body < 0 ? 0 : body + 6, sceneSection( layer ) );
    textBrowser->setHtml( html );
  }
  show();
}

void MetadataViewerDialog::urlClicked( const QUrl &url )
{
  const QFileInfo file( url.toLocalFile() );
  if ( file.exists() && !file.isDir() )
    Utils::showInExplorer( file.filePath() );
  else
    QDesktopServices::openUrl( url );
}
