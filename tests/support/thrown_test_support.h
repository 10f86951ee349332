// Capturing what a call throws.
#pragma once

#include <string>

#include "runtime/exception.h"
#include "runtime/object.h"
#include "runtime/string.h"
#include "tests/support/text_test_support.h"

// The object thrown by the call, or the Null object when it returns.
template <class F>
Object* ovTestThrown(F&& call) {
    Object* thrown = ovNull;
    OV_TRY { call(); }
    OV_CATCH(e) { thrown = e; }
    OV_END_TRY
    return thrown;
}

// The text of the String the call throws; "(no error)" when it returns and
// "(not a String)" when it throws another object.
template <class F>
std::u16string ovTestThrownText(F&& call) {
    Object* thrown = ovTestThrown(call);
    if (thrown == ovNull) return u"(no error)";
    if (!ovIsInstance(thrown, &StringType)) return u"(not a String)";
    return ovTestUnits(static_cast<String*>(thrown));
}
