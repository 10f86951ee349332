// Exceptions: the per-thread try stack, throwing, the hook table, and the
// exception classes of the core module.
//
// A managed throw is a C++ throw of an ovThrown carrier; a managed try block
// is a C++ try block opened by OV_TRY, whose frame on the thread's try stack
// is pushed on entry and popped exactly once on any way out:
//
//     OV_TRY {
//         body();
//     } OV_CATCH(e) {
//         if (!ovIsInstance(e, &TStreamExceptionType)) ovThrow(e);  // not ours: pass on
//         handle(e);
//     } OV_END_TRY
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/object.h"

// ---------------------------------------------------------------------------
// Try stack
// ---------------------------------------------------------------------------

inline constexpr int32_t OV_TRY_FRAME_SIZE = 256;
inline constexpr int32_t OV_TRY_FRAMES_PER_GROWTH = 10;

// The try stack of a thread: a block of contiguous 256-byte frames.  It exists
// only while a try block is active on the thread.
struct ovTryStack {
    char* begin;
    char* top;  // next free frame
    char* end;
};

// Pushes a new frame and returns it; creates the try stack on first use.
void* ovTryPush();
// Pops the innermost frame at the normal end of a try block; releases the
// try stack when the outermost frame goes.
void ovTryPop();
// The calling thread's try stack, or 0 while no try block is active.
ovTryStack* ovTryCurrent();

// The carrier of a managed exception in flight.  The object is retained by
// ovThrow and released by the catch site.
struct ovThrown {
    Object* object;
};

// Throws obj to the innermost try block of the thread; with no try block,
// calls hook entry 0 at the throw point.
[[noreturn]] void ovThrow(Object* obj);
// Throws a String holding the text.
[[noreturn]] void ovRuntimeError(const char* text);
// Takes the exception object from its carrier at a catch site.
Object* ovCaught(const ovThrown& thrown);

// Keeps the try stack in step with a C++ try block: the frame is popped when
// the block is left by its end, a return, a break or a foreign C++ exception,
// but not when ovThrow has already removed it.
class ovTryGuard {
public:
    ovTryGuard();
    ~ovTryGuard();
    ovTryGuard(const ovTryGuard&) = delete;
    ovTryGuard& operator=(const ovTryGuard&) = delete;

private:
    size_t depth_;
};

#define OV_TRY \
    try {      \
        ovTryGuard ovTryGuardOfThisBlock_;
#define OV_CATCH(var)                             \
    }                                             \
    catch (const ovThrown& ovThrownOfThisBlock_) { \
        Object* var = ovCaught(ovThrownOfThisBlock_);
#define OV_END_TRY }

// ---------------------------------------------------------------------------
// Hook table
// ---------------------------------------------------------------------------

struct ovHookTable {
    void (*unhandledException)(Object* exception);  // entry 0: must not return
    void (*unused[5])();
    void (*log)(intptr_t word);  // entry 6
    void (*stop)();              // entry 7
};
extern ovHookTable ovHooks;

// Default of entry 0: writes the exception's text to standard error and ends
// the process with status 255.
[[noreturn]] void ovUnhandledException(Object* exception);

// ---------------------------------------------------------------------------
// Exception classes of the core module
// ---------------------------------------------------------------------------

struct TOrvaneException : Object {};
struct TNullObjectException : TOrvaneException {};
struct TNullMethodException : TOrvaneException {};
struct TNullFunctionException : TOrvaneException {};
struct TArrayBoundsException : TOrvaneException {};
struct TOutOfDataException : TOrvaneException {};
struct TRuntimeException : TOrvaneException {
    ovRef<String> error;
};

struct TRuntimeExceptionClass : ObjectClass {
    TRuntimeException* (*Create)(String* message);
};

// The record of an exception class without fields of its own, derived from
// base: New and Delete run the chains, and text, when given, is its ToString
// (the exception's message).
template <const ObjectClass& Self>
constexpr ObjectClass ovExceptionClass(const ObjectClass& base, const ovScope* scope,
                                       String* (*text)(Object*) = nullptr) {
    return ovMakeClass<ObjectClass, Object>(base, scope, [text](ObjectClass& r) {
        r.New = ovFieldlessNew<Self>;
        r.Delete = ovChainDelete<Self>;
        if (text != nullptr) r.ToString = text;
    });
}

// The messages of the exception classes (their ToString) and the
// operations of TRuntimeException, which carries its message in error.
String* TNullObjectExceptionToString(Object* self);
String* TNullMethodExceptionToString(Object* self);
String* TNullFunctionExceptionToString(Object* self);
String* TArrayBoundsExceptionToString(Object* self);
String* TOutOfDataExceptionToString(Object* self);
int32_t TRuntimeExceptionNew(Object* self);
int32_t TRuntimeExceptionDelete(Object* self);
String* TRuntimeExceptionToString(Object* self);
TRuntimeException* TRuntimeExceptionCreate(String* message);

extern const ovScope TOrvaneExceptionScope, TNullObjectExceptionScope, TNullMethodExceptionScope,
    TNullFunctionExceptionScope, TArrayBoundsExceptionScope, TOutOfDataExceptionScope, TRuntimeExceptionScope;

extern const ObjectClass TOrvaneExceptionType, TNullObjectExceptionType, TNullMethodExceptionType,
    TNullFunctionExceptionType, TArrayBoundsExceptionType, TOutOfDataExceptionType;
extern const TRuntimeExceptionClass TRuntimeExceptionType;

inline constexpr ObjectClass TOrvaneExceptionType =
    ovExceptionClass<TOrvaneExceptionType>(ObjectType, &TOrvaneExceptionScope);
inline constexpr ObjectClass TNullObjectExceptionType = ovExceptionClass<TNullObjectExceptionType>(
    TOrvaneExceptionType, &TNullObjectExceptionScope, TNullObjectExceptionToString);
inline constexpr ObjectClass TNullMethodExceptionType = ovExceptionClass<TNullMethodExceptionType>(
    TOrvaneExceptionType, &TNullMethodExceptionScope, TNullMethodExceptionToString);
inline constexpr ObjectClass TNullFunctionExceptionType = ovExceptionClass<TNullFunctionExceptionType>(
    TOrvaneExceptionType, &TNullFunctionExceptionScope, TNullFunctionExceptionToString);
inline constexpr ObjectClass TArrayBoundsExceptionType = ovExceptionClass<TArrayBoundsExceptionType>(
    TOrvaneExceptionType, &TArrayBoundsExceptionScope, TArrayBoundsExceptionToString);
inline constexpr ObjectClass TOutOfDataExceptionType = ovExceptionClass<TOutOfDataExceptionType>(
    TOrvaneExceptionType, &TOutOfDataExceptionScope, TOutOfDataExceptionToString);
inline constexpr TRuntimeExceptionClass TRuntimeExceptionType =
    ovMakeClass<TRuntimeExceptionClass, TRuntimeException>(TOrvaneExceptionType, &TRuntimeExceptionScope, [](auto& r) {
        r.New = TRuntimeExceptionNew;
        r.Delete = TRuntimeExceptionDelete;
        r.ToString = TRuntimeExceptionToString;
        r.Create = TRuntimeExceptionCreate;
    });


[[noreturn]] void RaiseNullObject();
[[noreturn]] void RaiseNullMethod();
[[noreturn]] void RaiseNullFunction();
[[noreturn]] void RaiseArrayBounds();
[[noreturn]] void RaiseOutOfData();
[[noreturn]] void RaiseRuntimeError(String* message);
int32_t InvokeStopHook();
int32_t InvokeLogHook(intptr_t word);

// The core module's initialiser: registers the seven exception classes once.
void ovCoreModuleInit();
