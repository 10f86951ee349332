// The try stack, throwing, the hook table and the core module's exception
// classes.
#include "runtime/exception.h"

#include <cstdlib>
#include <initializer_list>

#include "runtime/memory.h"
#include "runtime/process.h"
#include "runtime/reflection.h"
#include "runtime/string.h"

// ---------------------------------------------------------------------------
// Try stack
// ---------------------------------------------------------------------------

namespace {

// The thread's try-stack slot; 0 while no try block is active.
thread_local ovTryStack* tryStack = nullptr;

constexpr size_t kGrowthBytes = size_t{OV_TRY_FRAME_SIZE} * OV_TRY_FRAMES_PER_GROWTH;

void releaseTryStack() {
    ovMemFree(tryStack->begin);
    ovMemFree(tryStack);
    tryStack = nullptr;
}

// Depth of the innermost frame, counted from 1.
inline size_t depthOf(const ovTryStack* stack) {
    return static_cast<size_t>(stack->top - stack->begin) / OV_TRY_FRAME_SIZE;
}

// Removes the innermost frame; the outermost takes the whole stack with it.
void removeInnermostFrame() {
    tryStack->top -= OV_TRY_FRAME_SIZE;
    if (tryStack->top == tryStack->begin) releaseTryStack();
}

}  // namespace

void* ovTryPush() {
    if (tryStack == nullptr) {
        tryStack = static_cast<ovTryStack*>(ovMemAlloc(sizeof(ovTryStack)));
        ovMemClear(tryStack, sizeof(ovTryStack));
    }
    if (tryStack->top == tryStack->end) {
        const size_t used = static_cast<size_t>(tryStack->top - tryStack->begin);
        const size_t kept = used / OV_TRY_FRAME_SIZE * OV_TRY_FRAME_SIZE;
        char* block = static_cast<char*>(ovMemExtend(tryStack->begin, kept, kept + kGrowthBytes));
        tryStack->begin = block;
        tryStack->top = block + kept;
        tryStack->end = tryStack->top + kGrowthBytes;
    }
    char* frame = tryStack->top;
    tryStack->top += OV_TRY_FRAME_SIZE;
    return frame;
}

void ovTryPop() { removeInnermostFrame(); }

ovTryStack* ovTryCurrent() { return tryStack; }

// The guard remembers its depth rather than its frame's address, since
// growing the stack moves every frame.
ovTryGuard::ovTryGuard() {
    ovTryPush();
    depth_ = depthOf(tryStack);
}

ovTryGuard::~ovTryGuard() {
    if (tryStack != nullptr && depthOf(tryStack) == depth_) ovTryPop();
}

void ovThrow(Object* obj) {
    if (tryStack == nullptr) {
        ovHooks.unhandledException(obj);
        std::abort();  // entry 0 must not return
    }
    ovGCRetain(obj);  // held for the flight; the catch site takes it over
    removeInnermostFrame();
    throw ovThrown{obj};
}

Object* ovCaught(const ovThrown& thrown) {
    Object* object = thrown.object;
    ovGCRelease(object);  // the catch variable on the stack now protects it
    return object;
}

void ovRuntimeError(const char* text) { ovThrow(ovStringFromCString(text)); }

// ---------------------------------------------------------------------------
// Hook table
// ---------------------------------------------------------------------------

namespace {
void ignoreHook() {}
void ignoreLogHook(intptr_t) {}
}  // namespace

ovHookTable ovHooks = {
    ovUnhandledException,
    {ignoreHook, ignoreHook, ignoreHook, ignoreHook, ignoreHook},
    ignoreLogHook,
    ignoreHook,
};

void ovUnhandledException(Object* exception) {
    ovWriteStderr(exception->ToString());
    std::exit(-1);
}

int32_t InvokeStopHook() {
    ovHooks.stop();
    return 0;
}

int32_t InvokeLogHook(intptr_t word) {
    ovHooks.log(word);
    return 0;
}

// ---------------------------------------------------------------------------
// Exception classes
// ---------------------------------------------------------------------------

namespace {

[[noreturn]] void throwNew(const ObjectClass& cls) { ovThrow(ovObjectNew(&cls)); }

constexpr ovScopeEntry runtimeExceptionEntries[] = {
    OV_FIELD_ENTRY(TRuntimeException, error, "$"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    ovObjectEntry::ToString,
    OV_FUNCTION_ENTRY(TRuntimeExceptionClass, Create, "($):TRuntimeException"),
    ovScopeEndEntry,
};

}  // namespace

String* TNullObjectExceptionToString(Object*) { return ovLiteral(u"Attempt to access field or method of Null object"); }
String* TNullMethodExceptionToString(Object*) { return ovLiteral(u"Attempt to call abstract method"); }
String* TNullFunctionExceptionToString(Object*) {
    return ovLiteral(u"Attempt to call uninitialized function pointer");
}
String* TArrayBoundsExceptionToString(Object*) {
    return ovLiteral(u"Attempt to index array element beyond array length");
}
String* TOutOfDataExceptionToString(Object*) { return ovLiteral(u"Attempt to read beyond end of data"); }

constexpr ovScope TOrvaneExceptionScope = {OV_SCOPE_CLASS, "TOrvaneException", ovNoScopeEntries};
constexpr ovScope TNullObjectExceptionScope = {OV_SCOPE_CLASS, "TNullObjectException", ovNoScopeEntries};
constexpr ovScope TNullMethodExceptionScope = {OV_SCOPE_CLASS, "TNullMethodException", ovNoScopeEntries};
constexpr ovScope TNullFunctionExceptionScope = {OV_SCOPE_CLASS, "TNullFunctionException", ovNoScopeEntries};
constexpr ovScope TArrayBoundsExceptionScope = {OV_SCOPE_CLASS, "TArrayBoundsException", ovNoScopeEntries};
constexpr ovScope TOutOfDataExceptionScope = {OV_SCOPE_CLASS, "TOutOfDataException", ovNoScopeEntries};
constexpr ovScope TRuntimeExceptionScope = {OV_SCOPE_CLASS, "TRuntimeException", runtimeExceptionEntries};

int32_t TRuntimeExceptionNew(Object* self) {
    ovChainNew<TRuntimeException, TRuntimeExceptionType>(self)->error.init(&ovEmptyString);
    return 0;
}

int32_t TRuntimeExceptionDelete(Object* self) {
    static_cast<TRuntimeException*>(self)->error.release();
    return ovChainDelete<TRuntimeExceptionType>(self);
}

String* TRuntimeExceptionToString(Object* self) { return static_cast<TRuntimeException*>(self)->error; }

TRuntimeException* TRuntimeExceptionCreate(String* message) {
    auto* exception = ovNew<TRuntimeException>(&TRuntimeExceptionType);
    exception->error.set(message);
    return exception;
}

void RaiseNullObject() { throwNew(TNullObjectExceptionType); }
void RaiseNullMethod() { throwNew(TNullMethodExceptionType); }
void RaiseNullFunction() { throwNew(TNullFunctionExceptionType); }
void RaiseArrayBounds() { throwNew(TArrayBoundsExceptionType); }
void RaiseOutOfData() { throwNew(TOutOfDataExceptionType); }
void RaiseRuntimeError(String* message) { ovThrow(TRuntimeExceptionType.Create(message)); }

void ovCoreModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovObjectRegisterTypes({&TOrvaneExceptionType, &TNullObjectExceptionType, &TNullMethodExceptionType,
                               &TNullFunctionExceptionType, &TArrayBoundsExceptionType, &TOutOfDataExceptionType,
                               &TRuntimeExceptionType});
    });
}
