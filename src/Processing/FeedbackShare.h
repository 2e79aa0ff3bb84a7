#pragma once

#include <qgsfeedback.h>

/**
 * One step of a longer run: its own progress, 0 to 100, moves the whole run's
 * from \a from to \a to percent, and a cancel of the whole run stops it too.
 * Without a whole run it is a feedback nobody watches.
 */
class FeedbackShare : public QgsFeedback
{
    Q_OBJECT

  public:
    FeedbackShare( QgsFeedback *whole, double from, double to );
};
