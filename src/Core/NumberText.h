#pragma once

#include <QString>

//! Numbers as the program shows them, the same in every language setting.
class NumberText
{
  public:
    //! \a value with "." decimals: whole numbers without decimals, others with up to six.
    static QString format( double value );
};
