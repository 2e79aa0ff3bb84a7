#pragma once

#include <QObject>

#include <functional>

namespace TestSupport
{

//! Adds a test class to this program; the shared main runs every one in turn.
bool registerTest( const char *name, std::function<QObject *()> make );

//! Isolates the process (own home, settings, temporary and working folders), starts QGIS (with widgets when \a gui is
//! set) after \a setUp, runs the registered tests (only the one the first argument names, if it names one).
int runTests( int argc, char *argv[], bool gui, const std::function<void()> &setUp = {} );

} // namespace TestSupport

#define RASTOVA_TEST( TestClass )                                                                                      \
  static const bool registered##TestClass = TestSupport::registerTest( #TestClass, [] { return new TestClass; } );
