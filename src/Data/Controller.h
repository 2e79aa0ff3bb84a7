#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class RasterModel;

/**
 * Carries the data-management commands: opening files of any kind, adding
 * rasters, exporting the current layer. Menu entries, tool buttons, dropped
 * files, command-line arguments and local clients all end up here.
 */
class Controller : public QObject
{
    Q_OBJECT

  public:
    Controller();
    ~Controller() override;

    //! Whether a model reads files with the upper-case \a extension (no dot).
    bool isSupportedExtension( const QString &extension );

  public slots:
    void addRaster();
    void exportData();
    void openData();
    void openFileName( const QString &fileName );
    void openFileNames( const QStringList &fileNames );

  private:
    std::unique_ptr<RasterModel> mRasterModel;
};
