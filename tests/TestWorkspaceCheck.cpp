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
      // clang-format off
      enum Form { Plain, Zipped, ZippedCutShort, Raw };
      // clang-format on
      QTest::addColumn<QString>( "name" );
      QTest::addColumn<QByteArray>( "contents" );
      QTest::addColumn<int>( "form" );
      QTest::addColumn<QString>( "reason" ); // empty: accepted
      const QByteArray file = layer( "gdal", "./source.tif" );
      const QString invalid = "không phải dự án QGIS hợp lệ";
      // clang-format off
      QTest::newRow( "workspace of a file layer" ) << "w.qgz" << project( file ) << int( Zipped ) << "";
      QTest::newRow( "plain project" ) << "w.qgs" << project( file ) << int( Plain ) << "";
      QTest::newRow( "no such file" ) << "none.qgz" << QByteArray() << int( Raw ) << "không tìm thấy file";
      QTest::newRow( "a named pipe" ) << "pipe.qgz" << QByteArray() << int( Raw ) << "không tìm thấy file";
      QTest::newRow( "cut short" ) << "w.qgz" << project( file ) << int( ZippedCutShort ) << invalid;
      QTest::newRow( "garbage" ) << "w.qgz" << QByteArray( "<qgis version=\"3.22\"><layer" ) + QByteArray( 5000, '\xff' ) << int( Raw ) << invalid;
      QTest::newRow( "plain, not a project" ) << "w.qgs" << QByteArray( "<html><qgis/></html>" ) << int( Plain ) << invalid;
      QTest::newRow( "plain, unclosed" ) << "w.qgs" << QByteArray( "<qgis><projectlayers>" ) << int( Plain ) << invalid;
      QTest::newRow( "nested 100000 deep" ) << "w.qgz" << "<qgis>" + QByteArray( 100000 * 3, ' ' ).replace( "   ", "<a>" ) << int( Zipped ) << "cấu trúc lồng quá sâu";
      QTest::newRow( "naming a pipe" ) << "w.qgz" << project( layer( "gdal", "./pipe.tif" ) ) << int( Zipped ) << "layer ./pipe.tif không phải file dữ liệu";
      QTest::newRow( "reading a pipe as text" ) << "w.qgz" << project( layer( "delimitedtext", "file:./pipe.tif?type=csv" ) ) << int( Zipped ) << "layer file:./pipe.tif?type=csv không phải file dữ liệu";
      QTest::newRow( "a scene from a pipe" ) << "w.qgz" << project( layer( "gdal", "./pipe.tif#rastova-scene=mask" ) ) << int( Zipped ) << "layer ./pipe.tif#rastova-scene=mask không phải file dữ liệu";
      QTest::newRow( "through a virtual file system" ) << "w.qgs" << project( layer( "gdal", "/vsicurl/http://127.0.0.1:9/a.tif" ) ) << int( Plain ) << "layer /vsicurl/http://127.0.0.1:9/a.tif không phải file dữ liệu";
      QTest::newRow( "embedding another" ) << "w.qgz" << project( "<maplayer embedded=\"1\" project=\"./pipe.tif\" id=\"x\"/>" ) << int( Zipped ) << "có nhúng dự án khác";
      // clang-format on
    }
    void refusesWhatQgisShouldNotRead()
    {
      QFETCH( QString, name );
      QFETCH( QByteArray, contents );
      QFETCH( int, form );
      QFETCH( QString, reason );
      const QString folder = TestSupport::absolute( QStringLiteral( "check/%1" ).arg( QTest::currentDataTag() ) );
      QDir().mkpath( folder + "/inner" );
      TestSupport::writeRaster( folder + "/source.tif" );
      QCOMPARE( mkfifo( ( folder + "/pipe.tif" ).toUtf8().constData(), 0600 ), 0 );
      QCOMPARE( mkfifo( ( folder + "/pipe.qgz" ).toUtf8().constData(), 0600 ), 0 );
      const QString target = folder + '/' + name;
      if ( form % 3 == 0 && !contents.isEmpty() ) // plain or raw
        TestSupport::writeBytes( target, contents );
      else if ( form % 3 )
      {
        QgsArchive archive;
        archive.addFile( TestSupport::writeBytes( folder + "/inner/w.qgs", contents ) );
        QVERIFY( archive.zip( target ) );
        if ( form == 2 )
          QVERIFY( QFile( target ).resize( QFileInfo( target ).size() / 2 ) );
      }

      const ProcessingResult result = WorkspaceCheck::check( target );
      QCOMPARE( result.reason, reason );
      QCOMPARE( result.done(), reason.isEmpty() );
    }

    void archivesAreLookedIntoNotUnpacked_data()
    {
      QTest::addColumn<int>( "projects" );
      QTest::addColumn<int>( "others" );
      QTest::addColumn<bool>( "accepted" );
      QTest::newRow( "one project" ) << 1 << 0 << true;
      QTest::newRow( "one project with data" ) << 1 << 5 << true;
      QTest::newRow( "two projects" ) << 2 << 0 << false;
      QTest::newRow( "no project" ) << 0 << 3 << false;
      QTest::newRow( "more than a thousand entries" ) << 1 << 1000 << false;
    }
    void archivesAreLookedIntoNotUnpacked()
    {
      QFETCH( int, projects );
      QFETCH( int, others );
      QFETCH( bool, accepted );
      const QString folder = TestSupport::absolute( QStringLiteral( "archive/%1" ).arg( QTest::currentDataTag() ) );
      QDir().mkpath( folder + "/inner" );
      QgsArchive archive;
      for ( int i = 0; i < projects; ++i )
        archive.addFile(
            TestSupport::writeBytes( folder + QStringLiteral( "/inner/p%1.qgs" ).arg( i ), project( "" ) ) );
      for ( int i = 0; i < others; ++i )
        archive.addFile( TestSupport::writeBytes( folder + QStringLiteral( "/inner/d%1.txt" ).arg( i ), "x" ) );
      QVERIFY( archive.zip( folder + "/w.qgz" ) );
      const ProcessingResult result = WorkspaceCheck::check( folder + "/w.qgz" );
      QCOMPARE( result.done(), accepted );
      if ( !accepted )
        QCOMPARE( result.reason, QStringLiteral( "không phải dự án QGIS hợp lệ" ) );
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
