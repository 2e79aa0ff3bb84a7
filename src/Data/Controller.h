#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class LayerRemover;
class MetadataViewerDialog;
class RasterModel;
class SceneModel;
class VectorModel;
class Workspace;

/**
 * Carries the data-management commands: opening files of any kind, adding
 * rasters and vectors, removing, exporting and describing layers. Menu
 * entries, tool buttons, dropped files, command-line arguments and local
 * clients all end up here.
 */
class Controller : public QObject
{
    Q_OBJECT

  public:
    Controller();
    ~Controller() override;

    //! Whether a model reads files with the upper-case \a extension (no dot).
    bool isSupportedExtension( const QString &extension );
    //! Whether \a path opens: a file of a supported extension, or a satellite product (file, folder or archive).
    bool isSupportedPath( const QString &path );
    //! Opening and saving workspaces.
    Workspace *workspace() const;

  public slots:
    void addRaster();
    void addVector();
    void removeLayers();
    void exportData();
    void showMetadata();
    void openData();
    void openFileName( const QString &fileName );
    void openFileNames( const QStringList &fileNames );
    //! Opens a band math result in the colour ramp an index or a continuous result reads best in.
    void openBandMathResult( const QString &fileName );

  private:
    std::unique_ptr<VectorModel> mVectorModel;
    std::unique_ptr<RasterModel> mRasterModel;
    std::unique_ptr<SceneModel> mSceneModel;
    std::unique_ptr<LayerRemover> mLayerRemover;
    std::unique_ptr<MetadataViewerDialog> mMetadataViewer;
    std::unique_ptr<Workspace> mWorkspace;
};
