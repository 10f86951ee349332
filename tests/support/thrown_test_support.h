// Capturing what a call throws.
#pragma once

#include "runtime/exception.h"
#include "runtime/object.h"

// The object thrown by the call, or the Null object when it returns.
template <class F>
Object* ovTestThrown(F&& call) {
    Object* thrown = ovNull;
    OV_TRY { call(); }
    OV_CATCH(e) { thrown = e; }
    OV_END_TRY
    return thrown;
}
