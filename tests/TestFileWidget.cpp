#include "Core/Utils.h"
#include "TestSupport.h"
#include "Widgets/FileWidget.h"

class TestFileWidget : public QObject
{
    Q_OBJECT

  private slots:
    void choicesFillThePathAndRememberTheFolder_data()
    {
      QTest::addColumn<int>( "mode" );
      QTest::addColumn<QString>( "chosen" );
      QTest::newRow( "save" ) << int( FileWidget::SaveFile ) << TestSupport::absolute( "data/out.tif" );
      QTest::newRow( "open" ) << int( FileWidget::OpenFile ) << TestSupport::absolute( "data/in.tif" );
      QTest::newRow( "folder" ) << int( FileWidget::Directory ) << TestSupport::absolute( "data/bands" );
    }
    void choicesFillThePathAndRememberTheFolder()
    {
      QFETCH( int, mode );
      QFETCH( QString, chosen );
      QDir().mkpath( "data/bands" );
      QDir().mkpath( "first" );
      TestSupport::writeRaster( "data/in.tif" );
      const QString first = TestSupport::absolute( "first" );
      Utils::writeSetting( Utils::Keys::lastFileNameDir, first );
      FileWidget widget;
      widget.setMode( mode );
      // A choice, then a cancel: the second dialog still starts where the first did, and the choice stays.
      QStringList starts;
      for ( const QString &answer : { chosen, QString() } )
      {
        TestSupport::whenModal(
            [&starts, answer]( QWidget *dialog )
            {
              auto *files = qobject_cast<QFileDialog *>( dialog );
              starts << files->directory().absolutePath();
              files->findChild<QLineEdit *>( "fileNameEdit" )->setText( answer );
              QMetaObject::invokeMethod( files, answer.isEmpty() ? "reject" : "accept" );
            } );
        widget.openFileDialog();
      }
      QCOMPARE( starts, ( QStringList{ first, first } ) );
      QCOMPARE( widget.filePath(), chosen );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::lastFileNameDir ), TestSupport::absolute( "data" ) );

      widget.findChild<QLineEdit *>()->setText( "   /typed/by hand.tif  " );
      QCOMPARE( widget.filePath(), QStringLiteral( "/typed/by hand.tif" ) );
    }
};

RASTOVA_TEST( TestFileWidget )
#include "TestFileWidget.moc"
