#include "Processing/WorkspaceCheck.h"
#include "RasterFixtures.h"
#include "TestHarness.h"

#include <QtTest>

#include <qgsarchive.h>

#include <sys/stat.h>

namespace
{
QByteArray project( const QByteArray &layers )
{
  return "<qgis><projectlayers>" + layers + "</projectlayers></qgis>";
}

QByteArray layer( const QByteArray &provider, const QByteArray &source )
{
  return "<maplayer type=\"raster\"><id>x</id><datasource>" + source + "</datasource><provider>" + provider +
         "</provider></maplayer>";
}
} // namespace

class TestWorkspaceCheck : public QObject
{
    Q_OBJECT

  private slots:
    void refusesWhatQgisShouldNotRead_data()
    {
      QTest::addColumn<QString>( "name" );
      QTest::addColumn<QByteArray>( "contents" );
      QTest::addColumn<QString>( "form" );   // written as it is, or zipped as a workspace holds its project
      QTest::addColumn<QString>( "reason" ); // empty: accepted
      const QByteArray file = project( layer( "gdal", "./source.tif" ) );
      const QString invalid = "không phải dự án QGIS hợp lệ";
      // clang-format off
      QTest::newRow( "workspace of a file layer" ) << "w.qgz" << file << "zip" << "";
      QTest::newRow( "plain project" ) << "w.qgs" << file << "plain" << "";
      QTest::newRow( "no such file" ) << "none.qgz" << QByteArray() << "plain" << "không tìm thấy file";
      QTest::newRow( "a named pipe" ) << "pipe.qgz" << QByteArray() << "plain" << "không tìm thấy file";
      QTest::newRow( "cut short" ) << "w.qgz" << file << "zip, cut short" << invalid;
      QTest::newRow( "garbage" ) << "w.qgz" << QByteArray( "<qgis version=\"3.22\"><layer" ) + QByteArray( 5000, '\xff' ) << "plain" << invalid;
      QTest::newRow( "plain, not a project" ) << "w.qgs" << QByteArray( "<html><qgis/></html>" ) << "plain" << invalid;
      QTest::newRow( "plain, unclosed" ) << "w.qgs" << QByteArray( "<qgis><projectlayers>" ) << "plain" << invalid;
      QTest::newRow( "nested 100000 deep" ) << "w.qgz" << "<qgis>" + QByteArray( 100000 * 3, ' ' ).replace( "   ", "<a>" ) << "zip" << "cấu trúc lồng quá sâu";
      QTest::newRow( "naming a pipe" ) << "w.qgz" << project( layer( "gdal", "./pipe.tif" ) ) << "zip" << "layer ./pipe.tif không phải file dữ liệu";
      QTest::newRow( "reading a pipe as text" ) << "w.qgz" << project( layer( "delimitedtext", "file:./pipe.tif?type=csv" ) ) << "zip" << "layer file:./pipe.tif?type=csv không phải file dữ liệu";
      QTest::newRow( "a scene from a pipe" ) << "w.qgz" << project( layer( "gdal", "./pipe.tif#rastova-scene=mask" ) ) << "zip" << "layer ./pipe.tif#rastova-scene=mask không phải file dữ liệu";
      QTest::newRow( "through a virtual file system" ) << "w.qgs" << project( layer( "gdal", "/vsicurl/http://127.0.0.1:9/a.tif" ) ) << "plain" << "layer /vsicurl/http://127.0.0.1:9/a.tif không phải file dữ liệu";
      QTest::newRow( "embedding another" ) << "w.qgz" << project( "<maplayer embedded=\"1\" project=\"./pipe.tif\" id=\"x\"/>" ) << "zip" << "có nhúng dự án khác";
      // Archives are looked into, not unpacked.
      QTest::newRow( "project with data" ) << "w.qgz" << file << "zip, 5 more files" << "";
      QTest::newRow( "two projects" ) << "w.qgz" << file << "zip, two projects" << invalid;
      QTest::newRow( "no project" ) << "w.qgz" << file << "zip, no project, 3 more files" << invalid;
      QTest::newRow( "more than a thousand entries" ) << "w.qgz" << file << "zip, 1000 more files" << invalid;
      // clang-format on
    }
    void refusesWhatQgisShouldNotRead()
    {
      QFETCH( QString, name );
      QFETCH( QByteArray, contents );
      QFETCH( QString, form );
      QFETCH( QString, reason );
      const QString folder = TestSupport::absolute( QStringLiteral( "check/%1" ).arg( QTest::currentDataTag() ) );
      QDir().mkpath( folder + "/inner" );
      TestSupport::writeRaster( folder + "/source.tif" );
      QCOMPARE( mkfifo( ( folder + "/pipe.tif" ).toUtf8().constData(), 0600 ), 0 );
      QCOMPARE( mkfifo( ( folder + "/pipe.qgz" ).toUtf8().constData(), 0600 ), 0 );
      const QString target = folder + '/' + name;
      if ( form == "plain" && !contents.isEmpty() )
        TestSupport::writeBytes( target, contents );
      else if ( form.startsWith( "zip" ) )
      {
        QgsArchive archive;
        const int projects = form.contains( "no project" ) ? 0 : form.contains( "two projects" ) ? 2 : 1;
        for ( int i = 0; i < projects; ++i )
          archive.addFile( TestSupport::writeBytes( folder + QStringLiteral( "/inner/p%1.qgs" ).arg( i ), contents ) );
        const int others = QRegularExpression( "(\\d+) more files" ).match( form ).captured( 1 ).toInt();
        for ( int i = 0; i < others; ++i )
          archive.addFile( TestSupport::writeBytes( folder + QStringLiteral( "/inner/d%1.txt" ).arg( i ), "x" ) );
        QVERIFY( archive.zip( target ) );
        if ( form.contains( "cut short" ) )
          QVERIFY( QFile( target ).resize( QFileInfo( target ).size() / 2 ) );
      }

      const ProcessingResult result = WorkspaceCheck::check( target );
      QCOMPARE( result.reason, reason );
      QCOMPARE( result.done(), reason.isEmpty() );
    }

    void aWorkspaceReplacedInTheSameSecondIsReadAnew()
    {
      const QString folder = TestSupport::absolute( "replaced" );
      QVERIFY( QDir().mkpath( folder + "/project" ) && QDir().mkpath( folder + "/other" ) );
      TestSupport::writeRaster( folder + "/a.tif" );
      // The same bytes, once as the project and once under another name: archives of one size.
      const auto zip = [&folder]( const QString &entry, const QString &target )
      {
        QgsArchive archive;
        archive.addFile( TestSupport::writeBytes( folder + '/' + entry, project( layer( "gdal", "./a.tif" ) ) ) );
        return archive.zip( target );
      };
      QVERIFY( zip( "project/w.qgs", folder + "/w.qgz" ) && zip( "other/w.txt", folder + "/next.qgz" ) );
      QCOMPARE( QFileInfo( folder + "/next.qgz" ).size(), QFileInfo( folder + "/w.qgz" ).size() );
      QVERIFY( WorkspaceCheck::check( folder + "/w.qgz" ).done() );

      // Saved over it as a save does: renamed into place, here at the same size and time.
      const QDateTime time = QFileInfo( folder + "/w.qgz" ).lastModified();
      QVERIFY( QFile::remove( folder + "/w.qgz" ) && QFile::rename( folder + "/next.qgz", folder + "/w.qgz" ) );
      QFile replaced( folder + "/w.qgz" );
      QVERIFY( replaced.open( QIODevice::ReadWrite ) &&
               replaced.setFileTime( time, QFileDevice::FileModificationTime ) );
      replaced.close();
      QCOMPARE( WorkspaceCheck::check( folder + "/w.qgz" ).reason, QStringLiteral( "không phải dự án QGIS hợp lệ" ) );
    }
};

RASTOVA_TEST( TestWorkspaceCheck )
#include "TestWorkspaceCheck.moc"
