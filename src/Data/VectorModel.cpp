#include "Data/VectorModel.h"

#include "Core/Utils.h"
#include "Processing/VectorExport.h"

#include <QFileInfo>

#include <qgsproviderregistry.h>
#include <qgsvectorfilewriter.h>
#include <qgsvectorlayer.h>

namespace
{
const QString ogrProvider = QStringLiteral( "ogr" );
}

void VectorModel::add()
{
  addChosenFiles( QStringLiteral( "Chọn vector" ), QgsProviderRegistry::instance()->fileVectorFilters(),
                  Utils::Keys::vectorDir, QStringLiteral( "Thêm vector layer thất bại" ) );
}

QgsMapLayer *VectorModel::createLayer( const QString &fileName, const QString & )
{
  return new QgsVectorLayer( fileName, QFileInfo( fileName ).completeBaseName(), ogrProvider );
}

QString VectorModel::providerKey() const
{
  return ogrProvider;
}

QStringList VectorModel::supportedExtensions()
{
  return upperCaseExtensions( QgsProviderRegistry::instance()->fileVectorFilters() );
}

void VectorModel::exportLayer( QgsMapLayer *mapLayer )
{
  auto *layer = qobject_cast<QgsVectorLayer *>( mapLayer );
  if ( !layer )
    return;

  QStringList filters;
  for ( const QgsVectorFileWriter::FilterFormatDetails &format :
        QgsVectorFileWriter::supportedFiltersAndFormats( QgsVectorFileWriter::SortRecommended ) )
    filters << format.filterString;

  exportToChosenFile(
      QStringLiteral( "Xuất vector" ), filters, Utils::Keys::vectorSaveDir, QStringLiteral( "Lưu vector layer" ),
      [layer]( const QString &target, const QString & ) { return VectorExport::write( layer, target ); } );
}
