#include "Core/Utils.h"
#include "Gui/MainWindow.h"
#include "Gui/OverviewQueue.h"
#include "TestSupport.h"

#include <QAction>
#include <QtTest>

#include <qgsrasterdataprovider.h>
#include <qgsrasterlayer.h>

using namespace TestSupport;

class TestOverviewQueue : public WindowTest
{
    Q_OBJECT

  private slots:
    void largeRastersGetOverviewsWhenOpened_data()
    {
      QTest::addColumn<bool>( "automatic" );
      QTest::addColumn<int>( "width" );
      QTest::addColumn<bool>( "built" );
      QTest::newRow( "large" ) << true << 600 << true;
      QTest::newRow( "large, setting off" ) << false << 600 << false;
    }
    void largeRastersGetOverviewsWhenOpened()
    {
      QFETCH( bool, automatic );
      QFETCH( int, width );
      QFETCH( bool, built );
      auto *queue = mWindow->findChild<OverviewQueue *>();
      queue->autoBuildAction()->setChecked( automatic );
      Utils::writeSetting( Utils::Keys::overviewThreshold, 400 );
      QgsRasterLayer *layer = addRasterLayer( "scene", RasterLayout{ width, 300 } );

      QTRY_VERIFY( queue->isIdle() );
      QCOMPARE( QFile::exists( layer->source() + ".ovr" ), built );
      // The layer reads the file anew, so it draws from the overviews.
      QCOMPARE( layer->dataProvider()->hasPyramids(), built );
      QCOMPARE( Utils::readSetting( Utils::Keys::autoOverviews, true ).toBool(), automatic );
    }
};

RASTOVA_TEST( TestOverviewQueue )
#include "TestOverviewQueue.moc"
