#pragma once

#include <QWidget>

#include <qgspointxy.h>

class QLabel;
class QLineEdit;
class QToolButton;
class QgsMapCanvas;

/**
 * The status bar's coordinates: the project CRS in a label, and an edit that
 * shows the map position under the mouse (or the extent after the map moves)
 * and centres the map on coordinates typed into it.
 */
class StatusBarCoordinatesWidget : public QWidget
{
    Q_OBJECT

  public:
    explicit StatusBarCoordinatesWidget( QWidget *parent );

    //! Follows the mouse and extent of \a canvas (and no longer those of an earlier one).
    void setMapCanvas( QgsMapCanvas *canvas );
    //! Decimals shown for mouse coordinates.
    void setMouseCoordinatesPrecision( int precision );
    void setDisplayFont( const QFont &font );
    //! Shows the initial prompt again.
    void reset();
    //! Whether coordinates are shown and read as WGS 84 longitude and latitude.
    bool showsDegrees() const;

  public slots:
    void updateCrs();
    void showMouseCoordinates( const QgsPointXY &point );
    void showExtent();
    void validateCoordinates();
    //! Lets the user pick the project CRS, keeping the visible area.
    void chooseProjectCrs();

  protected:
    bool eventFilter( QObject *watched, QEvent *event ) override;

  private:
    void showText( const QString &text );
    //! \a point typed in degrees, in the canvas CRS; false, with the user told why, when it cannot be.
    bool fromDegrees( QgsPointXY &point ) const;

    QLabel *mLabel = nullptr;
    QLineEdit *mLineEdit = nullptr;
    QToolButton *mDegreesButton = nullptr;
    QgsMapCanvas *mCanvas = nullptr;
    int mPrecision = 0;
    int mSpareWidth = 0;
    int mMinimumEditWidth = 0;
};
