#pragma once

#include <QWidget>

#include <qgspointxy.h>

class QLabel;
class QLineEdit;
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

  public slots:
    void updateCrs();
    void showMouseCoordinates( const QgsPointXY &point );
    void showExtent();
    void validateCoordinates();

  private:
    void showText( const QString &text );

    QLabel *mLabel = nullptr;
    QLineEdit *mLineEdit = nullptr;
    QgsMapCanvas *mCanvas = nullptr;
    int mPrecision = 0;
    int mSpareWidth = 0;
    int mMinimumEditWidth = 0;
};
