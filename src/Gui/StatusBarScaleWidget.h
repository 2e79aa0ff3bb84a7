#pragma once

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QgsMapCanvas;
class QgsScaleComboBox;

/**
 * The status bar's scale: shows the canvas scale and zooms the canvas to a
 * scale the user picks or types.
 */
class StatusBarScaleWidget : public QWidget
{
    Q_OBJECT

  public:
    StatusBarScaleWidget( QgsMapCanvas *canvas, QWidget *parent );

    //! Shows \a scale from the canvas without zooming the canvas back.
    void showScale( double scale );
    void setDisplayFont( const QFont &font );
    //! Zooms the canvas to scale 1, as a new workspace starts.
    void reset();

  public slots:
    //! Refills the scale list from the project's scales, or restores the default list.
    void updateScales();
    //! Zooms the canvas to the chosen scale.
    void userScale();

  private:
    QgsMapCanvas *mCanvas = nullptr;
    QHBoxLayout *mLayout = nullptr;
    QLabel *mLabel = nullptr;
    QgsScaleComboBox *mScale = nullptr;
};
