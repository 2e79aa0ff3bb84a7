#include "Data/Controller.h"
#include "Data/SceneModel.h"
#include "Gui/RecentFiles.h"
#include "Gui/Workspace.h"
#include "SceneFixtures.h"
#include "TestSupport.h"
#include "Tools/RasterStyle.h"

#include <qgsbrightnesscontrastfilter.h>
#include <qgslayertree.h>
#include <qgslayertreeview.h>
#include <qgsprojectionselectiondialog.h>
#include <qgsrasterrenderer.h>
#include <qgsscalecombobox.h>

using namespace TestSupport;

namespace
{
void select( const QList<QgsLayerTreeNode *> &nodes )
{
  QgsLayerTreeView *view = MainWindow::layerTreeView();
  view->selectionModel()->clear();
  for ( QgsLayerTreeNode *node : nodes )
    view->selectionModel()->select( view->node2index( node ), QItemSelectionModel::Select | QItemSelectionModel::Rows );
}

//! Each layer as "group/name|visible|renderer|bands|brightness", top to bottom.
QStringList describeLayers()
{
  QStringList lines;
  for ( QgsLayerTreeLayer *node : QgsProject::instance()->layerTreeRoot()->findLayers() )
  {
    auto *layer = qobject_cast<QgsRasterLayer *>( node->layer() );
    QStringList bands;
    for ( int band : layer->renderer()->usesBands() )
      bands << QString::number( band );
    lines << QStringLiteral( "%1/%2|%3|%4|%5|%6" )
                 .arg( node->parent()->name(), node->name() )
                 .arg( node->itemVisibilityChecked() )
                 .arg( layer->renderer()->type(), bands.join( ',' ) )
                 .arg( layer->brightnessFilter()->brightness() );
  }
  return lines;
}
} // namespace

class TestWorkspace : public WindowTest
{
    Q_OBJECT

  public:
    TestWorkspace()
        : WindowTest( true )
    {
    }

  private:
    QgsMapCanvas *mCanvas = nullptr;
    QLineEdit *mCoords = nullptr;
    const QgsCoordinateTransform mUtmToDegrees{ QgsCoordinateReferenceSystem( "EPSG:32748" ),
                                                QgsCoordinateReferenceSystem( "EPSG:4326" ), QgsProject::instance() };

    //! A UTM 48 south scene, in a project of that CRS.
    void addUtmLayer()
    {
      mCanvas = MainWindow::mapCanvas();
      mCoords = mWindow->findChild<QWidget *>( "mCoordsEdit" )->findChild<QLineEdit *>();
      // The offscreen window is only as wide as its status bar, so the busy indicator of a render or a notice widens
      // it whenever one first shows; a canvas of its own size keeps the visible extent from moving under the checks.
      mCanvas->setFixedSize( 480, 320 );
      addRasterLayer( "scene" );
      QgsProject::instance()->setCrs( QgsCoordinateReferenceSystem( "EPSG:32748" ) );
      mCanvas->setExtent( QgsRectangle( 500000, 8999700, 500600, 9000000 ) );
    }

  private slots:
    void removalAndNewWorkspaceAskOnlyWhenThereIsSomethingToLose()
    {
      for ( const char *name : { "r1.tif", "r2.tif", "r3.tif" } )
        MainWindow::controller()->openFileName( absolute( writeRaster( name ) ) );
      // The first layer brings its own CRS to the project.
      QTRY_COMPARE( QgsProject::instance()->crs().authid(), QStringLiteral( "EPSG:32748" ) );
      QgsLayerTree *root = QgsProject::instance()->layerTreeRoot();
      const QList<QgsLayerTreeLayer *> layers = root->findLayers();
      QgsLayerTreeGroup *unrelated = root->addGroup( "unrelated" );
      QgsLayerTreeGroup *holder = root->addGroup( "holder" );
      QgsLayerTreeLayer *inside = holder->addLayer( layers[0]->layer() );
      root->removeChildNode( layers[0] );

      select( {} );
      MainWindow::controller()->removeLayers();
      QCOMPARE( notices().size(), 1 );

      select( { holder, inside } );
      auto asked = answerMessage( "Hủy" );
      // The Delete key in the layer panel asks the same as the panel's button.
      MainWindow::layerTreeView()->setFocus();
      QTest::keyClick( MainWindow::layerTreeView(), Qt::Key_Delete );
      QCOMPARE( *asked, QStringList{ "Bạn có chắc chắn muốn gỡ bỏ 1 mục?" } );
      QVERIFY( root->findGroup( "holder" ) );

      select( { layers[1], layers[2], unrelated } );
      asked = answerMessage( "Đồng ý" );
      MainWindow::controller()->removeLayers();
      QCOMPARE( *asked, QStringList{ "Bạn có chắc chắn muốn gỡ bỏ 3 mục?" } );
      QCOMPARE( root->findLayers().size(), 1 );
      QVERIFY( !root->findGroup( "unrelated" ) );

      // Saved or not, a workspace with layers still asks before it empties.
      QgsProject::instance()->setDirty( false );
      asked = answerMessage( "Đồng ý" );
      mWindow->newWorkspace();
      QCOMPARE( *asked, QStringList{ "Bạn muốn tạo mới không gian làm việc?" } );
      QCOMPARE( QgsProject::instance()->count(), 0 );
      QVERIFY( !root->findGroup( "holder" ) );
      QCOMPARE( QgsProject::instance()->crs().authid(), QStringLiteral( "EPSG:4756" ) );
      asked = answerMessage( "Hủy", 300 );
      mWindow->newWorkspace();
      QVERIFY( asked->isEmpty() );
    }

    void workspaceKeepsTheWork_data()
    {
      QTest::addColumn<QString>( "openFrom" );
      QTest::addColumn<QString>( "deleted" );
      QTest::addColumn<QString>( "gone" ); // how the lines of the layers it held start
      // clang-format off
      QTest::newRow( "in place" ) << "site" << QString() << QString();
      QTest::newRow( "folder moved" ) << "moved" << QString() << QString();
      QTest::newRow( "a file gone" ) << "moved" << "b.tif" << "cảnh/b|";
      QTest::newRow( "a satellite product gone" ) << "moved" << "landsat.tar" << "Landsat";
      // clang-format on
    }
    void workspaceKeepsTheWork()
    {
      QFETCH( QString, openFrom );
      QFETCH( QString, deleted );
      QFETCH( QString, gone );
      for ( const char *folder : { "site", "moved" } )
        QDir( folder ).removeRecursively();
      QDir().mkpath( "site/data" );
      for ( const char *name : { "a", "b", "c" } )
        MainWindow::controller()->openFileName(
            absolute( writeRaster( QStringLiteral( "site/data/%1.tif" ).arg( name ),
                                   RasterLayout{ 20, 10, name == QString( "b" ) ? 1 : 3 } ) ) );
      writeLandsat( absolute( "landsat" ) );
      QVERIFY( pack( absolute( "landsat" ), absolute( "site/data/landsat.tar" ) ) );
      MainWindow::controller()->openFileName( absolute( "site/data/landsat.tar" ) );
      QgsProject *project = QgsProject::instance();
      QgsLayerTree *root = project->layerTreeRoot();
      const auto layer = [project]( const QString &name )
      { return qobject_cast<QgsRasterLayer *>( project->mapLayersByName( name ).value( 0 ) ); };
      QgsLayerTreeGroup *group = root->insertGroup( 0, "cảnh" );
      for ( const char *name : { "b", "c" } )
      {
        QgsLayerTreeLayer *node = root->findLayer( layer( name ) );
        group->addLayer( layer( name ) );
        root->removeChildNode( node );
      }
      group->findLayer( layer( "c" ) )->setItemVisibilityChecked( false );
      QVERIFY( RasterStyle::applyComposite( layer( "a" ), 3, 2, 1, QgsRasterMinMaxOrigin::MinMax ) );
      QCOMPARE( RasterStyle::setBrightnessContrast( layer( "a" ), 40, 10 ), 2 );
      QVERIFY( RasterStyle::applyIndexOrPerceptualRamp( layer( "b" ) ) );
      QStringList expected = describeLayers();

      QVERIFY( MainWindow::controller()->workspace()->saveTo( absolute( "site/work.qgz" ) ) );
      QCOMPARE( mWindow->windowTitle(), QStringLiteral( "work - Rastova" ) );
      QCOMPARE( QDir( "site" ).entryList( QDir::Files | QDir::Hidden ), QStringList{ "work.qgz" } );
      project->setDirty( true );
      // A save that fails on a full disk leaves the saved workspace as it was.
      const QMap<QString, QByteArray> saved = folderContents( "site" );
      {
        FileSizeLimit fullDisk( 2000 );
        QVERIFY( !MainWindow::controller()->workspace()->save() );
      }
      QCOMPARE( folderContents( "site" ), saved );
      QCOMPARE( notices().last().title, QStringLiteral( "Lưu không gian làm việc thất bại" ) );
      auto asked = answerMessage( "Không" );
      MainWindow::controller()->openFileName( absolute( "site/work.qgz" ) );
      QVERIFY( !asked->isEmpty() );
      QCOMPARE( mWindow->windowTitle(), QStringLiteral( "work* - Rastova" ) );
      answerMessage( "Không lưu" );
      mWindow->newWorkspace();
      QCOMPARE( mWindow->windowTitle(), QStringLiteral( "Rastova" ) );
      if ( openFrom != "site" )
        QVERIFY( QDir().rename( "site", openFrom ) );
      if ( !deleted.isEmpty() )
      {
        QVERIFY( QFile::remove( QStringLiteral( "%1/data/%2" ).arg( openFrom, deleted ) ) );
        expected = expected.filter( QRegularExpression( "^(?!" + QRegularExpression::escape( gone ) + ")" ) );
      }
      // Scenes are rebuilt from their product, not read from files of the last session.
      QVERIFY( QDir( SceneModel::folder() ).removeRecursively() );

      MainWindow::controller()->openFileName( absolute( openFrom + "/work.qgz" ) );
      QCOMPARE( describeLayers(), expected );
      QCOMPARE( notices().size(), 1 + int( !deleted.isEmpty() ) );
      QVERIFY( deleted.isEmpty() || notices().last().text.contains( deleted ) );
      // A rebuilt mask reads its classes through a pixel function: clear sky (6) in column 6.
      for ( QgsMapLayer *mask : project->mapLayers() )
        if ( mask->name().endsWith( "_mask" ) )
          QCOMPARE( qobject_cast<QgsRasterLayer *>( mask )->dataProvider()->sample(
                        QgsPointXY( mask->extent().xMinimum() + 6.5 * 30, mask->extent().center().y() ), 1 ),
                    6.0 );
      // Without its missing layers it is no longer that workspace: a save asks for a name.
      QCOMPARE( mWindow->windowTitle(), deleted.isEmpty() ? QStringLiteral( "work - Rastova" ) : "Rastova*" );
      QCOMPARE( RecentFiles::files().value( 0 ), absolute( openFrom + "/work.qgz" ) );
    }

    void workspaceComesBackInItsCrsAndView_data()
    {
      QTest::addColumn<QString>( "road" );
      QTest::newRow( "open command" ) << "open";
      QTest::newRow( "recent list" ) << "recent";
      QTest::newRow( "command line" ) << "start";
    }
    void workspaceComesBackInItsCrsAndView()
    {
      QFETCH( QString, road );
      MainWindow::controller()->openFileName( absolute( writeRaster( "scene.tif" ) ) );
      // A GeoPackage's layer too, whose CRS a reopening must not take either.
      MainWindow::controller()->openFileName( absolute( writeVector( "parcels.gpkg", "GPKG", { "parcels" } ) ) );
      QgsProject *project = QgsProject::instance();
      QgsMapCanvas *canvas = MainWindow::mapCanvas();
      QTRY_COMPARE( canvas->layers().size(), 2 );
      project->setCrs( QgsCoordinateReferenceSystem( "EPSG:3857" ) );
      canvas->zoomByFactor( 0.25 );
      QTest::qWait( 100 );
      const QgsRectangle extent = canvas->extent();
      QVERIFY( MainWindow::controller()->workspace()->saveTo( absolute( "ws.qgz" ) ) );

      answerMessage( "Đồng ý" );
      mWindow->newWorkspace();
      QTest::qWait( 100 );
      if ( road == "open" )
        MainWindow::controller()->openFileName( absolute( "ws.qgz" ) );
      else if ( road == "recent" )
      {
        auto *recent = mWindow->findChild<QMenu *>( "mRecentMenu" );
        emit recent->aboutToShow();
        recent->actions().first()->trigger();
      }
      else
      {
        const QSize size = mWindow->size();
        mWindow.reset();
        project->clear();
        mWindow = std::make_unique<MainWindow>();
        mWindow->resize( size );
        mWindow->show();
        // As at start-up: the files named come after the window has its size.
        QVERIFY( QTest::qWaitForWindowExposed( mWindow.get() ) );
        mWindow->openFile( absolute( "ws.qgz" ) );
      }
      // Opening is synchronous; the canvas takes the layers on the next turn of the event loop, where a first
      // layer's set-up would replace the CRS and view.
      QCOMPARE( project->count(), 2 );
      QTRY_COMPARE( MainWindow::mapCanvas()->layers().size(), 2 );
      QCoreApplication::processEvents();
      QCOMPARE( project->crs().authid(), QStringLiteral( "EPSG:3857" ) );
      QCOMPARE( MainWindow::mapCanvas()->mapSettings().destinationCrs().authid(), QStringLiteral( "EPSG:3857" ) );
      const QgsRectangle reopened = MainWindow::mapCanvas()->extent();
      QVERIFY2( reopened.center().distance( extent.center() ) < MainWindow::mapCanvas()->mapUnitsPerPixel() &&
                    qAbs( reopened.width() - extent.width() ) < 2 * MainWindow::mapCanvas()->mapUnitsPerPixel(),
                qPrintable( reopened.toString() + " / " + extent.toString() ) );
      QCOMPARE( mWindow->windowTitle(), QStringLiteral( "ws - Rastova" ) );
    }

    void unsavedWorkIsOfferedASave_data()
    {
      QTest::addColumn<QString>( "road" );
      QTest::addColumn<QString>( "answer" );
      for ( const char *road : { "close", "new", "update" } )
        for ( const char *answer : { "Lưu", "Không lưu", "Hủy" } )
          QTest::addRow( "%s, %s", road, answer ) << road << answer;
    }
    void unsavedWorkIsOfferedASave()
    {
      QFETCH( QString, road );
      QFETCH( QString, answer );
      mWindow->show();
      MainWindow::controller()->openFileName( absolute( writeRaster( "kept.tif" ) ) );
      QVERIFY( MainWindow::controller()->workspace()->saveTo( absolute( "ws.qgz" ) ) );
      QgsProject::instance()->layerTreeRoot()->findLayers().first()->setName( "renamed" );
      QCOMPARE( mWindow->windowTitle(), QStringLiteral( "ws* - Rastova" ) );

      // The update's own question comes after the offer; it is declined, so the window stays for the checks.
      QStringList asked;
      whenModal(
          [&asked, answer]( QWidget *box )
          {
            asked << box->findChild<QLabel *>( "messageLbl" )->text();
            clickButton( box, answer );
            whenModal(
                [&asked]( QWidget *next )
                {
                  asked << next->findChild<QLabel *>( "messageLbl" )->text();
                  clickButton( next, "Không" );
                },
                1000 );
          } );
      if ( road == "close" )
        mWindow->close();
      else if ( road == "new" )
        mWindow->newWorkspace();
      else
        mWindow->findChild<QAction *>( "mActionUpdate" )->trigger();

      const bool goesOn = answer != "Hủy";
      QCOMPARE( asked.size(), road == "update" && goesOn ? 2 : 1 );
      QVERIFY( asked.first().contains( "chưa lưu" ) );
      QCOMPARE( mWindow->isVisible(), road != "close" || !goesOn );
      QCOMPARE( QgsProject::instance()->count(), road == "new" && goesOn ? 0 : 1 );
      QgsProject saved;
      QVERIFY( saved.read( absolute( "ws.qgz" ) ) );
      QCOMPARE( saved.layerTreeRoot()->findLayers().first()->name(), answer == "Lưu" ? "renamed" : "kept" );
    }

    void recentFilesSurviveARestart()
    {
      QStringList newestFirst;
      for ( int i = 0; i < 12; ++i )
      {
        newestFirst.prepend( absolute( writeRaster( QStringLiteral( "recent%1.tif" ).arg( i ) ) ) );
        MainWindow::controller()->openFileName( newestFirst.first() );
      }
      MainWindow::controller()->openFileName( newestFirst.at( 4 ) );
      newestFirst.move( 4, 0 );
      newestFirst = newestFirst.mid( 0, 10 );

      mWindow.reset();
      mWindow = std::make_unique<MainWindow>();
      const QList<QAction *> actions = mWindow->findChild<QMenu *>( "mRecentMenu" )->actions();
      QStringList listed;
      for ( QAction *action : actions )
        if ( action->data().isValid() )
          listed << action->data().toString();
      QCOMPARE( listed, newestFirst );

      const int layers = QgsProject::instance()->count();
      QVERIFY( QFile::remove( newestFirst.at( 3 ) ) );
      actions.at( 3 )->trigger();
      QCOMPARE( notices().size(), 1 );
      QCOMPARE( RecentFiles::files().size(), 9 );
      actions.at( 1 )->trigger();
      QCOMPARE( QgsProject::instance()->count(), layers + 1 );
      actions.last()->trigger();
      QVERIFY( RecentFiles::files().isEmpty() );
    }

    void drops_data()
    {
      QTest::addColumn<QStringList>( "files" );
      QTest::addColumn<bool>( "accepted" ); // then the one supported file opens, the others are named
      QTest::newRow( "folder only" ) << QStringList{ "dropped" } << false;
      QTest::newRow( "raster and unsupported" ) << QStringList{ "dropped/report.docx", "dropped/a.tif" } << true;
      QTest::newRow( "upper case, several dots" ) << QStringList{ "dropped/scene.2024.01.TIF" } << true;
      QTest::newRow( "vector" ) << QStringList{ "dropped/parcels.gpkg" } << true;
    }
    void drops()
    {
      QFETCH( QStringList, files );
      QFETCH( bool, accepted );
      QDir().mkpath( "dropped" );
      writeRaster( "dropped/a.tif" );
      writeRaster( "dropped/scene.2024.01.TIF" );
      writeVector( "dropped/parcels.gpkg", "GPKG", { "parcels" } );
      writeBytes( "dropped/report.docx", "PK" );

      QList<QUrl> urls;
      for ( const QString &file : files )
        urls << QUrl::fromLocalFile( absolute( file ) );
      QMimeData data;
      data.setUrls( urls );
      QDragEnterEvent enter( QPoint( 10, 10 ), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier );
      QApplication::sendEvent( mWindow.get(), &enter );
      QCOMPARE( enter.isAccepted(), accepted );
      QDropEvent drop( QPointF( 10, 10 ), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier );
      if ( accepted )
        QApplication::sendEvent( mWindow.get(), &drop );
      QCOMPARE( QgsProject::instance()->count(), int( accepted ) );
      QCOMPARE( notices().size(), accepted ? files.size() - 1 : 0 );
    }

    void typedCoordinates_data()
    {
      QTest::addColumn<bool>( "degrees" );
      QTest::addColumn<QString>( "typed" );
      QTest::addColumn<bool>( "moves" );
      QTest::newRow( "comma and space" ) << false << "500250, 8999800" << true;
      QTest::newRow( "one space" ) << false << "500250 8999800" << true;
      QTest::newRow( "several spaces" ) << false << "500250   8999800" << true;
      QTest::newRow( "leading space, no comma" ) << false << " 500300 8999850" << false;
      QTest::newRow( "three numbers" ) << false << "500300, 8999850, 5" << false;
      QTest::newRow( "letters" ) << false << "500300, abc" << false;
      QTest::newRow( "degrees inside the zone" ) << true << "105.123456, -8.654321" << true;
      QTest::newRow( "degrees, next zone, north" ) << true << "111.5 3.25" << true;
      QTest::newRow( "out of range" ) << true << "-200, 95" << false;
      QTest::newRow( "a quarter round the equator" ) << true << "15, 0" << false;
    }
    void typedCoordinates()
    {
      QFETCH( bool, degrees );
      QFETCH( QString, typed );
      QFETCH( bool, moves );
      addUtmLayer();
      if ( degrees )
        mWindow->findChild<QAbstractButton *>( "mCoordsDegreesButton" )->click();
      const QgsPointXY before = mCanvas->center();
      mCoords->setText( typed );
      QTest::keyClick( mCoords, Qt::Key_Return );
      // Out-of-range degrees are explained; text that is no pair of numbers just stays for the user to fix.
      QCOMPARE( notices().size(), !moves && degrees ? 1 : 0 );
      if ( !moves )
      {
        QCOMPARE( mCanvas->center(), before );
        QCOMPARE( mCoords->text(), typed );
        return;
      }
      const QStringList parts = typed.split( QRegularExpression( "[, ]+" ) );
      const QgsPointXY expected( parts[0].toDouble(), parts[1].toDouble() );
      const QgsPointXY centre = degrees ? mUtmToDegrees.transform( mCanvas->center() ) : mCanvas->center();
      QVERIFY2( centre.distance( expected ) < 1e-7, qPrintable( centre.toString( 8 ) ) );

      // What the box shows under the mouse goes back to the same place (seven-digit northings: no digit grouping).
      const QgsPointXY shown( mCanvas->center().x() + 123.4, mCanvas->center().y() - 56.7 );
      emit mCanvas->xyCoordinates( shown );
      QTest::keyClick( mCoords, Qt::Key_Return );
      QVERIFY2( mCanvas->center().distance( shown ) < ( degrees ? 0.1 : 1 ), qPrintable( mCoords->text() ) );
    }

    void theBarFollowsTheCanvas()
    {
      mCoords = mWindow->findChild<QWidget *>( "mCoordsEdit" )->findChild<QLineEdit *>();
      const QString prompt = mCoords->text();
      emit MainWindow::mapCanvas()->xyCoordinates( QgsPointXY( 1, 2 ) );
      QCOMPARE( mCoords->text(), prompt ); // no coordinates without layers

      addUtmLayer();
      QCOMPARE( mCoords->text(), mCanvas->extent().toString( 3 ) );

      // The scale follows the canvas; a scale typed in zooms once, without being zoomed back.
      auto *scale = mWindow->findChild<QgsScaleComboBox *>( "mScaleEdit" );
      QSignalSpy extents( mCanvas, &QgsMapCanvas::extentsChanged );
      mCanvas->zoomByFactor( 0.5 );
      QCOMPARE( extents.count(), 1 );
      QVERIFY( qAbs( scale->scale() - mCanvas->scale() ) < 1 );
      extents.clear();
      scale->setScale( 250000 );
      QCOMPARE( extents.count(), 1 );
      QVERIFY( qAbs( mCanvas->scale() - 250000 ) < 1 );
      // A project CRS chosen from the label keeps the view.
      const QgsRectangle before = mCanvas->extent();
      auto *label = mWindow->findChild<QLabel *>( "mCoordsLabel" );
      whenModal(
          []( QWidget *dialog )
          {
            auto *selector = qobject_cast<QgsProjectionSelectionDialog *>( dialog );
            QCOMPARE( selector->crs().authid(), QStringLiteral( "EPSG:32748" ) );
            selector->setCrs( QgsCoordinateReferenceSystem( "EPSG:4326" ) );
            selector->accept();
          } );
      QTest::mouseClick( label, Qt::LeftButton );
      const QgsRectangle expected = mUtmToDegrees.transformBoundingBox( before );
      const QgsRectangle after = mCanvas->extent();
      QVERIFY2( after.buffered( 1e-9 ).contains( expected ) && after.area() < 3 * expected.area(),
                qPrintable( after.toString() + " / " + expected.toString() ) );
    }
};

RASTOVA_TEST( TestWorkspace )
#include "TestWorkspace.moc"
