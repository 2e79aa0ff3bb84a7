#pragma once

// GDAL fixtures and checks that need no window.
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

#include <gdal_priv.h>
#include <qgspointxy.h>

namespace TestSupport
{

//! What a generated raster looks like. Pixel (x, y) of band b holds valueAt(b, x, y) * scale.
struct RasterLayout
{
    int width = 20;
    int height = 10;
    int bands = 3;
    GDALDataType type = GDT_UInt16;
    int epsg = 32748; // UTM 48 south: negative latitudes, large northings
    double originX = 500000;
    double originY = 9000000;
    double pixelSize = 30;
    bool hasNoData = false;
    double noData = 0;
    double offset = 0; // added to every value, so that two files of one layout hold different data
    double scale = 1;  // every value is multiplied by it (then the offset added): floats for a float band
    //! What the file says of its bands, band by band where given: description and centre wavelength (µm).
    QStringList descriptions{};
    QVector<double> wavelengths{};
    //! The scale and offset the file declares for every band (physical value = stored value * scale + offset).
    double bandScale = 1;
    double bandOffset = 0;
    //! Dataset metadata items ("ACQUISITION_DATE").
    QMap<QString, QString> metadata{};
};
//! The value a generated raster holds at band \a band (1-based), column \a x, row \a y.
double valueAt( int band, int x, int y );
//! \a path made absolute against the test's working folder.
QString absolute( const QString &path );
//! The centre of pixel (\a column, \a row) of a raster written following \a layout, in its CRS.
QgsPointXY pixelCentre( const RasterLayout &layout, int column, int row );
//! Writes a GeoTIFF following \a layout; fails the current test if GDAL cannot.
QString writeRaster( const QString &path, const RasterLayout &layout = RasterLayout() );
//! Writes an OGR file with one layer per name (three polygons each, UTM 48 south, a text and a real field).
QString writeVector( const QString &path, const QString &driver, const QStringList &layerNames );
//! Writes \a bytes to \a path (for empty, truncated and non-raster files).
QString writeBytes( const QString &path, const QByteArray &bytes );
QVector<double> readBand( const QString &path, int band );
std::unique_ptr<GDALDataset> openRaster( const QString &path );
struct SourceBand
{
    QString path;
    int band;
};

//! The first way the raster at \a path differs from \a sources, band by band: size, \a type, \a noData (NaN matches
//! NaN), values; empty when it does not.
QString checkWritten( const QString &path, const QList<SourceBand> &sources, GDALDataType type, double noData );

//! While it lives, no file of this process can grow past \a bytes (when positive): writes fail as on a full disk.
class FileSizeLimit
{
  public:
    explicit FileSizeLimit( qint64 bytes );
    ~FileSizeLimit();
    FileSizeLimit( const FileSizeLimit & ) = delete;
    FileSizeLimit &operator=( const FileSizeLimit & ) = delete;

  private:
    quint64 mPrevious = 0;
    bool mActive = false;
};
//! The bytes of every file under \a folder (hidden ones too), by relative path.
QMap<QString, QByteArray> folderContents( const QString &folder );

} // namespace TestSupport
