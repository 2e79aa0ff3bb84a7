#include "Core/Utils.h"
#include "Gui/MessageBox.h"
#include "TestSupport.h"

#include <QPushButton>

class TestMessageBox : public QObject
{
    Q_OBJECT

  private slots:
    void answers_data()
    {
      QTest::addColumn<int>( "buttons" );
      QTest::addColumn<QStringList>( "labels" );
      QTest::addColumn<QString>( "pressed" );
      QTest::addColumn<int>( "result" );
      const int yesNo = QDialogButtonBox::Yes | QDialogButtonBox::No;
      const int okCancel = QDialogButtonBox::Ok | QDialogButtonBox::Cancel;
      QTest::newRow( "yes" ) << yesNo << QStringList{ "Có", "Không" } << "Có" << 1;
      QTest::newRow( "no" ) << yesNo << QStringList{ "Có", "Không" } << "Không" << 0;
      QTest::newRow( "window closed" ) << yesNo << QStringList{ "Có", "Không" } << QString() << 0;
      QTest::newRow( "ok" ) << okCancel << QStringList{ "Đồng ý", "Hủy" } << "Đồng ý" << 1;
      QTest::newRow( "cancel" ) << okCancel << QStringList{ "Đồng ý", "Hủy" } << "Hủy" << 0;
    }
    void answers()
    {
      QFETCH( int, buttons );
      QFETCH( QStringList, labels );
      QFETCH( QString, pressed );
      QFETCH( int, result );

      MessageBox box( nullptr, "Rastova", "Bạn có thực sự muốn thoát?", Utils::iconPath( "Exit.svg" ),
                      QDialogButtonBox::StandardButtons( buttons ) );
      QStringList shown;
      for ( QAbstractButton *button : box.findChild<QDialogButtonBox *>( "buttonBox" )->buttons() )
        shown << button->text();
      std::sort( shown.begin(), shown.end() );
      std::sort( labels.begin(), labels.end() );
      QCOMPARE( shown, labels );

      TestSupport::whenModal(
          [pressed]( QWidget *dialog )
          {
            if ( pressed.isEmpty() )
              dialog->close();
            else
              TestSupport::clickButton( dialog, pressed );
          } );
      QCOMPARE( box.exec(), result );
    }

    void informationHasOnlyOk()
    {
      TestSupport::whenModal(
          []( QWidget *dialog )
          {
            QCOMPARE( dialog->findChildren<QPushButton *>().size(), 1 );
            QCOMPARE( dialog->windowTitle(), QStringLiteral( "Rastova" ) );
            TestSupport::clickButton( dialog, "Đồng ý" );
          } );
      QCOMPARE( MessageBox::information( "Rastova", "Phần mềm đang hoạt động", Utils::iconPath( "Rastova.svg" ) ), 1 );
    }
};

RASTOVA_TEST( TestMessageBox )
#include "TestMessageBox.moc"
