#include "Data/MetadataViewerDialog.h"

#include "Core/Utils.h"

#include <QDesktopServices>
#include <QFileInfo>

#include <qgsapplication.h>
#include <qgsmaplayer.h>

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
    textBrowser->setHtml( layer->htmlMetadata() );
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
