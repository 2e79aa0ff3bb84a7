#pragma once

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QWidget;

/**
 * What the update server says and the hand-over to the updater: the manifest
 * is fetched without waiting for it, a newer version is announced once, and
 * the updater is started only when there may be something to update.
 */
class UpdateCheck : public QObject
{
    Q_OBJECT

  public:
    //! Questions and notices are shown over \a window.
    explicit UpdateCheck( QWidget *window );

    //! Asks the update server for its manifest, without waiting for the answer.
    void fetch();

    //! Reads the manifest in \a reply and tells the user when it names a version newer than this one.
    void handleReply( QNetworkReply *reply );

    //! When the last manifest named no newer version, says so and returns true.
    bool tellIfUpToDate();

    //! After the user agrees, writes the updater's parameters, starts it and returns true: the caller then quits.
    bool handOver();

  private:
    enum class Answer
    {
      None,
      UpToDate,
      Newer,
    };

    QWidget *mWindow = nullptr;
    QNetworkAccessManager *mNetwork = nullptr;
    Answer mAnswer = Answer::None;
};
