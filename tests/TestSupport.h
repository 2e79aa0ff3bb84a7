#pragma once

#include "Gui/MainWindow.h"

// What nearly every test uses, so the test files name only what is particular to them.
#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include <gdal_priv.h>
#include <qgis.h>
#include <qgsmapcanvas.h>
#include <qgsproject.h>
#include <qgsrasterlayer.h>
#include <qgssettings.h>
#include <qgsvectorlayer.h>

class QgsRasterLayer;
class QWidget;

namespace TestSupport
{

//! Empties the settings store.
void clearSettings();

//! What a generated raster looks like. Pixel (x, y) of band b holds valueAt(b, x, y) * scale.
struct RasterSpec
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
    //! Added to every value, so that two files of one layout hold different data.
    double offset = 0;
    //! Every value is multiplied by it (then the offset added): floats for a float band.
    double scale = 1;
};

//! The value a generated raster holds at band \a band (1-based), column \a x, row \a y.
double valueAt( int band, int x, int y );

//! \a path made absolute against the test's working folder.
QString absolute( const QString &path );

//! Writes \a name.tif following \a spec, adds it to the project under the file's base name and waits until the canvas
//! draws it.
QgsRasterLayer *addRasterLayer( const QString &name, const RasterSpec &spec = RasterSpec() );

//! Writes a GeoTIFF following \a spec; fails the current test if GDAL cannot.
QString writeRaster( const QString &path, const RasterSpec &spec = RasterSpec() );

//! Writes an OGR file with one layer per name (three polygons each, UTM 48 south, a text and a real field).
QString writeVector( const QString &path, const QString &driver, const QStringList &layerNames );

//! A tool dialog's notice as the user reads it (its noticeLabel without the colour markup).
QString noticeText( const QWidget *dialog );

//! Clicks the dialog's Apply and waits until the background run, if one started, has ended; returns the notice.
QString applyAndWait( QWidget *dialog );

//! \a text framed as the local socket expects it (one QDataStream string, stream version 17).
QByteArray localMessage( const QString &text );

//! This run's log as written so far (empty before the log is opened).
QString readLog();

//! Writes \a bytes to \a path (for empty, truncated and non-raster files).
QString writeBytes( const QString &path, const QByteArray &bytes );

//! Reads band \a band of \a path as doubles, row by row.
QVector<double> readBand( const QString &path, int band );

//! \a path opened by GDAL for reading; null when GDAL cannot open it.
std::unique_ptr<GDALDataset> openRaster( const QString &path );

//! One band of a raster: what a written band must hold.
struct SourceBand
{
    QString path;
    int band;
};

/**
 * Compares the raster at \a path band by band with \a sources: each band of \a type, of its source's size,
 * declaring \a noData (NaN matches NaN) and holding the source band's values. Returns the first difference, or
 * an empty string.
 */
QString checkWritten( const QString &path, const QList<SourceBand> &sources, GDALDataType type, double noData );

/**
 * While it lives, no file of this process can grow past \a bytes: writes fail
 * as on a full disk, without root or a mount.
 */
class FileSizeLimit
{
  public:
    explicit FileSizeLimit( qint64 bytes );
    ~FileSizeLimit();
    FileSizeLimit( const FileSizeLimit & ) = delete;
    FileSizeLimit &operator=( const FileSizeLimit & ) = delete;

  private:
    quint64 mPrevious = 0;
};

//! Mounts a 64 KiB tmpfs on \a folder (made when missing); false where mounting is not allowed.
bool mountSmallDisk( const QString &folder );

//! The bytes of every file under \a folder (hidden ones too), by relative path: to tell that nothing changed or was
//! left behind.
QMap<QString, QByteArray> folderContents( const QString &folder );

//! A message-bar notice as the user sees it.
struct Notice
{
    QString title;
    QString text;
    Qgis::MessageLevel level;
};

//! The main window's message-bar notices, oldest first.
QList<Notice> notices();

/**
 * Runs \a answer on the next modal widget that becomes active, within
 * \a timeoutMs. Call before the code that opens the dialog.
 */
void whenModal( std::function<void( QWidget * )> answer, int timeoutMs = 10000 );

//! Drops the answers still waiting for a dialog, so that none carries over into the next test.
void forgetModalAnswers();

//! Answers Yes to the next question box (the file dialog's "replace the existing file?", say).
void answerYes();

//! Triggers the Tools-menu command labelled \a text.
void triggerTool( const QString &text );

//! Triggers the Tools-menu command \a text; its dialog when that is shown, else null.
template <typename Dialog> Dialog *showTool( const QString &text )
{
  triggerTool( text );
  auto *dialog = MainWindow::instance()->findChild<Dialog *>();
  return dialog && dialog->isVisible() ? dialog : nullptr;
}

//! Answers the next message box within \a timeoutMs with \a button; its text, once answered.
std::shared_ptr<QStringList> answerMessage( const QString &button, int timeoutMs = 10000 );

//! Clicks the button labelled \a text inside \a dialog.
void clickButton( QWidget *dialog, const QString &text );

//! Answers the next file dialog with \a fileNames (in one folder), optionally choosing \a nameFilter.
void answerFileDialog( const QStringList &fileNames, const QString &nameFilter = QString() );

/**
 * Base of the tests that work on the main window: each test function gets
 * empty settings, an empty project and a new window, shown and active when
 * \a active is set.
 */
class WindowTest : public QObject
{
    Q_OBJECT

  public:
    explicit WindowTest( bool active = false );

  protected:
    std::unique_ptr<MainWindow> mWindow;

  private slots:
    void init();
    void cleanup();

  private:
    bool mActive = false;
};

//! Adds a test class to this program; the shared main runs every one in turn.
bool registerTest( const char *name, std::function<QObject *()> make );

/**
 * Creates the QGIS application, runs the registered test objects (only the one
 * named by the first argument, when it names one, with the remaining
 * arguments), tears QGIS down.
 */
int run( int argc, char *argv[] );

} // namespace TestSupport

#define RASTOVA_TEST( TestClass )                                                                                      \
  static const bool registered##TestClass = TestSupport::registerTest( #TestClass, [] { return new TestClass; } );
