#pragma once

#include "Processing/ProcessingResult.h"
#include "ui_BandMathDialog.h"

#include <QDialog>
#include <QMap>

#include <qgsrastercalculator.h>

class QListWidgetItem;
class ToolRun;

/**
 * The band calculator: builds an expression over the bands of the project's
 * rasters with buttons and double-clicks, checks it, and writes the result in
 * a chosen GDAL format. The computing itself is BandMath's.
 */
class BandMathDialog : public QDialog, private Ui::BandMathDialog
{
    Q_OBJECT

  public:
    explicit BandMathDialog( QWidget *parent );

  signals:
    //! A result was written to \a fileName and the user asked for it to be opened.
    void complete( QString fileName );

  public slots:
    void plusButtonClicked() { insertText( QStringLiteral( " + " ) ); }
    void minusButtonClicked() { insertText( QStringLiteral( " - " ) ); }
    void multiplyButtonClicked() { insertText( QStringLiteral( " * " ) ); }
    void divideButtonClicked() { insertText( QStringLiteral( " / " ) ); }
    void sqrtButtonClicked() { insertText( QStringLiteral( " sqrt( " ) ); }
    void expButtonClicked() { insertText( QStringLiteral( " ^ " ) ); }
    void lnButtonClicked() { insertText( QStringLiteral( " ln( " ) ); }
    void logButtonClicked() { insertText( QStringLiteral( " log10( " ) ); }
    void cosButtonClicked() { insertText( QStringLiteral( " cos( " ) ); }
    void arcCosButtonClicked() { insertText( QStringLiteral( " acos( " ) ); }
    void sinButtonClicked() { insertText( QStringLiteral( " sin( " ) ); }
    void arcSinButtonClicked() { insertText( QStringLiteral( " asin( " ) ); }
    void tanButtonClicked() { insertText( QStringLiteral( " tan( " ) ); }
    void arcTanButtonClicked() { insertText( QStringLiteral( " atan( " ) ); }
    void equalButtonClicked() { insertText( QStringLiteral( " = " ) ); }
    void notEqualButtonClicked() { insertText( QStringLiteral( " != " ) ); }
    void lessButtonClicked() { insertText( QStringLiteral( " < " ) ); }
    void greaterButtonClicked() { insertText( QStringLiteral( " > " ) ); }
    void lesserEqualButtonClicked() { insertText( QStringLiteral( " <= " ) ); }
    void greaterEqualButtonClicked() { insertText( QStringLiteral( " >= " ) ); }
    void minButtonClicked() { insertText( QStringLiteral( " min( " ) ); }
    void maxButtonClicked() { insertText( QStringLiteral( " max( " ) ); }
    void absButtonClicked() { insertText( QStringLiteral( " abs( " ) ); }
    void andButtonClicked() { insertText( QStringLiteral( " and " ) ); }
    void orButtonClicked() { insertText( QStringLiteral( " or " ) ); }
    void openBracketButtonClicked() { insertText( QStringLiteral( " ( " ) ); }
    void closeBracketButtonClicked() { insertText( QStringLiteral( " ) " ) ); }
    //! Inserts the double-clicked band's reference, quoted, at the cursor.
    void rasterBandsListWidgetItemDoubleClicked( QListWidgetItem *item );
    //! Takes the extent and size of the selected band's layer.
    void currentLayerExtentButtonClicked();
    //! Tells in the notice whether the expression parses.
    void checkExpression();
    //! Validates, computes, reports, and closes after a success.
    void apply();
    /**
     * Writes the chosen index's expression over the chosen raster's bands,
     * found by their descriptions or wavelengths; asks for a band where none
     * plays a role the index needs.
     */
    void applyIndexPreset();

  protected:
    void showEvent( QShowEvent *event ) override;
    //! Closing during a run cancels it.
    void closeEvent( QCloseEvent *event ) override;

  private:
    void insertText( const QString &text );
    void loadRasterBands();
    void loadOutputFormats();
    void loadPresetLayers();
    //! The band of \a layer the user picks to play \a role; 0 when they pick none.
    int askForBand( const QgsRasterLayer *layer, const QString &preset, const QString &role );
    bool isExpressionValid() const;
    QString outputFileName() const;
    void setExtentFrom( const QgsRasterLayer *layer );
    //! Puts the extent, size and CRS on the first raster the expression names (the first raster when it names
    //! none), unless the user has chosen them.
    void followExpression();
    //! The layer of the first band the expression names; null when it names none or does not parse.
    const QgsRasterLayer *firstNamedRaster( bool &parsed ) const;
    //! The extent fields, with the layer's exact value behind every field still showing it rounded.
    QgsRectangle outputExtent() const;
    void showResult( const ProcessingResult &result, const QString &outputFile );

    QMap<QString, QString> mDriverExtensions;
    QVector<QgsRasterCalculatorEntry> mRasterEntries;
    //! The user edited the extent or size fields, or took them from a layer: they stand from then on.
    bool mGridChosen = false;
    //! Set while the fields are filled from a layer, so that only the user's edits count as a choice.
    bool mFillingGrid = false;
    //! The layer the fields were last filled from.
    QString mGridLayerId;
    //! The extent last taken from a layer, and the field values it showed as.
    QgsRectangle mLayerExtent;
    QgsRectangle mShownExtent;
    //! The CRS of the layer the extent fields were filled from: the fields are in its units.
    QgsCoordinateReferenceSystem mExtentCrs;
    ToolRun *mRun = nullptr;
    //! The index last written into the expression and its text: a result still computing it is described as it.
    QString mPresetName;
    QString mPresetExpression;
};
