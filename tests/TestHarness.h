#pragma once

#include <QObject>

#include <functional>

namespace TestSupport
{

//! Adds a test class to this program; the shared main runs every one in turn.
bool registerTest( const char *name, std::function<QObject *()> make );

/**
 * Isolates the process (its own home, settings, temporary and working
 * folders), creates the QGIS application (with widgets when \a gui is set),
 * calls \a setUp, initialises QGIS, runs the registered test objects (only the
 * one named by the first argument, when it names one, with the remaining
 * arguments) and tears QGIS down.
 */
int runTests( int argc, char *argv[], bool gui, const std::function<void()> &setUp = {} );

} // namespace TestSupport

#define RASTOVA_TEST( TestClass )                                                                                      \
  static const bool registered##TestClass = TestSupport::registerTest( #TestClass, [] { return new TestClass; } );
