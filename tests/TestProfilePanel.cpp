#include "Gui/PixelValuesDock.h"
#include "Processing/SpectralProfile.h"
#include "TestSupport.h"
#include "Tools/BandMathDialog.h"

#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>

using namespace QtCharts;

namespace
{
using TestSupport::absolute;
using TestSupport::pixelCentre;
using TestSupport::RasterLayout;
using TestSupport::valueAt;

QList<QLineSeries *> seriesOf( QWidget *dock, const char *view )
{
  QList<QLineSeries *> series;
  for ( QAbstractSeries *each : dock->findChild<QChartView *>( view )->chart()->series() )
    series << qobject_cast<QLineSeries *>( each );
  return series;
}
} // namespace

class TestProfilePanel : public TestSupport::WindowTest
{
    Q_OBJECT

  private:
    PixelValuesDock *dock() { return mWindow->findChild<PixelValuesDock *>(); }
    void click( const char *button ) { dock()->findChild<QPushButton *>( button )->click(); }

  private slots:
    void spectraArePinnedClearedAndExported()
    {
      RasterLayout layout{ 20, 10, 4 };
      // Listed red, green, blue, NIR as many files list them; the curve runs along the wavelengths.
      layout.wavelengths = { 0.655, 0.561, 0.482, 0.865 };
      TestSupport::addRasterLayer( "scene", layout );
      dock()->showValuesAt( pixelCentre( layout, 3, 2 ) );
      QList<QLineSeries *> series = seriesOf( dock(), "spectralProfileChartView" );
      QCOMPARE( series.size(), 1 );
      const QVector<QPointF> expected{ { 482, valueAt( 3, 3, 2 ) },
                                       { 561, valueAt( 2, 3, 2 ) },
                                       { 655, valueAt( 1, 3, 2 ) },
                                       { 865, valueAt( 4, 3, 2 ) } };
      QCOMPARE( series[0]->pointsVector(), expected );

      click( "pinButton" );
      dock()->showValuesAt( pixelCentre( layout, 5, 5 ) );
      QCOMPARE( seriesOf( dock(), "spectralProfileChartView" ).size(), 2 );
      for ( int pin = 2; pin <= 10; ++pin )
        click( "pinButton" ); // only the first press after each new point pins anything
      for ( int point = 0; point < 12; ++point )
      {
        dock()->showValuesAt( pixelCentre( layout, point, 0 ) );
        click( "pinButton" );
      }
      QCOMPARE( seriesOf( dock(), "spectralProfileChartView" ).size(), 11 ); // ten pinned and the one under the mouse
      QVERIFY( !dock()->findChild<QPushButton *>( "pinButton" )->isEnabled() );

      click( "clearPinsButton" );
      dock()->showValuesAt( pixelCentre( layout, 3, 2 ) );
      click( "pinButton" );
      dock()->showValuesAt( pixelCentre( layout, 4, 2 ) );
      const QString file = absolute( "spectra" );
      TestSupport::answerFileDialog( { file } );
      click( "exportProfilesButton" );
      QFile written( file + ".csv" );
      QVERIFY( written.open( QIODevice::ReadOnly ) );
      const QStringList lines = QString::fromUtf8( written.readAll() ).split( '\n', Qt::SkipEmptyParts );
      QCOMPARE( lines.size(), 5 );
      QCOMPARE( lines[0], "band,wavelength_nm,\"scene (500105, 8999925)\",\"scene (500135, 8999925)\"" );
      QCOMPARE( lines[4], QStringLiteral( "4,865,%1,%2" ).arg( valueAt( 4, 3, 2 ) ).arg( valueAt( 4, 4, 2 ) ) );
    }

    void historyFollowsTheChosenBand()
    {
      RasterLayout later{ 20, 10, 2 };
      later.offset = 50;
      TestSupport::addRasterLayer( "b_20200115" ); // dated by its name: written as b_20200115.tif
      RasterLayout earlier{ 20, 10, 2 };
      earlier.metadata = { { "ACQUISITION_DATE", "2019-02-01" } };
      TestSupport::addRasterLayer( "a", earlier );
      TestSupport::addRasterLayer( "undated", later );
      dock()->showValuesAt( pixelCentre( later, 1, 1 ) );
      auto *bands = dock()->findChild<QComboBox *>( "temporalBandComboBox" );
      QCOMPARE( bands->count(), 3 );
      QList<QLineSeries *> series = seriesOf( dock(), "temporalProfileChartView" );
      QCOMPARE( series.size(), 1 );
      const auto time = []( int year, int month, int day )
      { return double( QDateTime( QDate( year, month, day ), QTime( 0, 0 ), Qt::UTC ).toMSecsSinceEpoch() ); };
      QCOMPARE( series[0]->pointsVector(),
                ( QVector<QPointF>{ { time( 2019, 2, 1 ), valueAt( 1, 1, 1 ) },
                                    { time( 2020, 1, 15 ), valueAt( 1, 1, 1 ) } } ) );

      bands->setCurrentIndex( 1 );
      emit bands->activated( 1 );
      series = seriesOf( dock(), "temporalProfileChartView" );
      QCOMPARE( series[0]->pointsVector()[0].y(), valueAt( 2, 1, 1 ) );
      // The chosen band stays chosen at the next point.
      dock()->showValuesAt( pixelCentre( later, 2, 1 ) );
      QCOMPARE( bands->currentIndex(), 1 );
    }

    void presetsFillTheExpression_data()
    {
      QTest::addColumn<QString>( "preset" );
      QTest::addColumn<QString>( "answer" ); // the band picked for a missing role; empty: none is asked for
      QTest::addColumn<QString>( "expression" );
      QTest::newRow( "described" ) << "NDVI" << "" << "( \"scene@4\" - \"scene@1\" ) / ( \"scene@4\" + \"scene@1\" )";
      QTest::newRow( "missing swir1, picked" )
          << "MNDWI" << "Kênh 3: Blue" << "( \"scene@2\" - \"scene@3\" ) / ( \"scene@2\" + \"scene@3\" )";
      QTest::newRow( "missing swir1, cancelled" ) << "NDBI" << "-" << "earlier";
    }
    void presetsFillTheExpression()
    {
      QFETCH( QString, preset );
      QFETCH( QString, answer );
      QFETCH( QString, expression );
      RasterLayout layout{ 20, 10, 4 };
      layout.descriptions = QStringList{ "Red", "Green", "Blue", "Near infrared" };
      TestSupport::addRasterLayer( "scene", layout );
      auto *dialog = TestSupport::showTool<BandMathDialog>( "Tính toán kênh ảnh" );
      QVERIFY( dialog );
      dialog->findChild<QTextEdit *>( "expressionTextEdit" )->setPlainText( "earlier" );
      auto asked = std::make_shared<QString>();
      if ( !answer.isEmpty() )
        TestSupport::whenModal(
            [answer, asked]( QWidget *widget )
            {
              auto *input = qobject_cast<QInputDialog *>( widget );
              QVERIFY( input );
              *asked = input->labelText();
              if ( answer == "-" )
                return input->reject();
              input->setTextValue( answer );
              input->accept();
            } );
      auto *presets = dialog->findChild<QComboBox *>( "indexPresetComboBox" );
      presets->setCurrentIndex( presets->findText( preset ) );
      emit presets->activated( presets->currentIndex() );
      QCOMPARE( dialog->findChild<QTextEdit *>( "expressionTextEdit" )->toPlainText(), expression );
      if ( !answer.isEmpty() )
      {
        QVERIFY( asked->contains( "SWIR1" ) );
        QCOMPARE( TestSupport::noticeText( dialog ).contains( "SWIR1" ), answer == "-" );
        return;
      }
      // The result of an index left as written is described as that index.
      dialog->findChild<QWidget *>( "fileWidget" )->findChild<QLineEdit *>()->setText( absolute( "index.tif" ) );
      QCOMPARE( TestSupport::applyAndWait( dialog ), "Tính toán kênh ảnh đã hoàn thành" );
      QCOMPARE( TestSupport::openRaster( absolute( "index.tif" ) )->GetRasterBand( 1 )->GetDescription(), preset );
    }
};

RASTOVA_TEST( TestProfilePanel )
#include "TestProfilePanel.moc"
