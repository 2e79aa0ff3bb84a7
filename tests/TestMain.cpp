#include "TestSupport.h"

int main( int argc, char *argv[] )
{
  return TestSupport::run( argc, argv );
}
