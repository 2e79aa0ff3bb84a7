#include "Core/Utils.h"
#include "TestSupport.h"
#include "Widgets/FileWidget.h"

class TestFileWidget : public QObject
{
    Q_OBJECT

  private slots:
    void init() { TestSupport::clearSettings(); }

    void choicesFillThePathAndRememberTheFolder_data()
    {
      QTest::addColumn<int>( "mode" );
      QTest::addColumn<QString>( "chosen" );
      QTest::addColumn<QString>( "remembered" );
      const QString work = QDir::currentPath();
      // clang-format off
      QTest::newRow( "save" ) << int( FileWidget::SaveFile ) << work + "/data/out.tif" << work + "/data";
      QTest::newRow( "open" ) << int( FileWidget::OpenFile ) << work + "/data/in.tif" << work + "/data";
      QTest::newRow( "folder" ) << int( FileWidget::Directory ) << work + "/data/bands" << work + "/data";
      // clang-format on
    }
    void choicesFillThePathAndRememberTheFolder()
    {
      QFETCH( int, mode );
      QFETCH( QString, chosen );
      QFETCH( QString, remembered );
      QDir().mkpath( "data/bands" );
      TestSupport::writeRaster( "data/in.tif" );
      FileWidget widget;
      widget.setMode( mode );
      QString startFolder;
      TestSupport::whenModal(
          [&]( QWidget *dialog )
          {
            auto *files = qobject_cast<QFileDialog *>( dialog );
            startFolder = files->directory().absolutePath();
            files->findChild<QLineEdit *>( "fileNameEdit" )->setText( chosen );
            QMetaObject::invokeMethod( files, "accept" );
          } );
      widget.openFileDialog();
      QCOMPARE( startFolder, QDir::homePath() );
      QCOMPARE( widget.filePath(), chosen );
      QCOMPARE( Utils::rememberedFolder( Utils::Keys::lastFileNameDir ), remembered );
    }

    void startFolderIsReadOnceAndCancelKeepsTheText()
    {
      QDir().mkpath( "first" );
      QDir().mkpath( "second" );
      Utils::writeSetting( Utils::Keys::lastFileNameDir, QDir::current().absoluteFilePath( "first" ) );
      FileWidget widget;
      widget.setMode( FileWidget::SaveFile );
      QStringList starts;
      const auto answer = [&starts]( const QString &file )
      {
        TestSupport::whenModal(
            [&starts, file]( QWidget *dialog )
            {
              auto *files = qobject_cast<QFileDialog *>( dialog );
              starts << files->directory().absolutePath();
              if ( file.isEmpty() )
                files->reject();
              else
              {
                files->findChild<QLineEdit *>( "fileNameEdit" )->setText( file );
                QMetaObject::invokeMethod( files, "accept" );
              }
            } );
      };
      answer( QDir::current().absoluteFilePath( "second/a.tif" ) );
      widget.openFileDialog();
      Utils::writeSetting( Utils::Keys::lastFileNameDir, QDir::homePath() );
      answer( QString() );
      widget.openFileDialog();
      QCOMPARE( starts, QStringList( { QDir::current().absoluteFilePath( "first" ),
                                       QDir::current().absoluteFilePath( "first" ) } ) );
      QCOMPARE( widget.filePath(), QDir::current().absoluteFilePath( "second/a.tif" ) );

      widget.findChild<QLineEdit *>()->setText( "   /typed/by hand.tif  " );
      QCOMPARE( widget.filePath(), QStringLiteral( "/typed/by hand.tif" ) );
    }
};

RASTOVA_TEST( TestFileWidget )
#include "TestFileWidget.moc"
