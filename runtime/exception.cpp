// The try stack, throwing, the hook table and the core module's exception
// classes.
#include "runtime/exception.h"

#include <cstdlib>
#include <initializer_list>

#include "runtime/memory.h"
#include "runtime/process.h"
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

String* nullObjectText(Object*) { return ovLiteral(u"Attempt to access field or method of Null object"); }
String* nullMethodText(Object*) { return ovLiteral(u"Attempt to call abstract method"); }
String* nullFunctionText(Object*) { return ovLiteral(u"Attempt to call uninitialized function pointer"); }
String* arrayBoundsText(Object*) { return ovLiteral(u"Attempt to index array element beyond array length"); }
String* outOfDataText(Object*) { return ovLiteral(u"Attempt to read beyond end of data"); }

constexpr ovScope orvaneScope = {OV_SCOPE_CLASS, "TOrvaneException", ovNoScopeEntries};
constexpr ovScope nullObjectScope = {OV_SCOPE_CLASS, "TNullObjectException", ovNoScopeEntries};
constexpr ovScope nullMethodScope = {OV_SCOPE_CLASS, "TNullMethodException", ovNoScopeEntries};
constexpr ovScope nullFunctionScope = {OV_SCOPE_CLASS, "TNullFunctionException", ovNoScopeEntries};
constexpr ovScope arrayBoundsScope = {OV_SCOPE_CLASS, "TArrayBoundsException", ovNoScopeEntries};
constexpr ovScope outOfDataScope = {OV_SCOPE_CLASS, "TOutOfDataException", ovNoScopeEntries};

extern const ObjectClass orvaneRecord, nullObjectRecord, nullMethodRecord, nullFunctionRecord, arrayBoundsRecord,
    outOfDataRecord;

constexpr ObjectClass orvaneRecord = ovExceptionClass<orvaneRecord>(ObjectType, &orvaneScope);
constexpr ObjectClass nullObjectRecord =
    ovExceptionClass<nullObjectRecord>(orvaneRecord, &nullObjectScope, nullObjectText);
constexpr ObjectClass nullMethodRecord =
    ovExceptionClass<nullMethodRecord>(orvaneRecord, &nullMethodScope, nullMethodText);
constexpr ObjectClass nullFunctionRecord =
    ovExceptionClass<nullFunctionRecord>(orvaneRecord, &nullFunctionScope, nullFunctionText);
constexpr ObjectClass arrayBoundsRecord =
    ovExceptionClass<arrayBoundsRecord>(orvaneRecord, &arrayBoundsScope, arrayBoundsText);
constexpr ObjectClass outOfDataRecord =
    ovExceptionClass<outOfDataRecord>(orvaneRecord, &outOfDataScope, outOfDataText);

// TRuntimeException carries its message.
extern const TRuntimeExceptionClass runtimeRecord;

int32_t runtimeExceptionNew(Object* self) {
    auto* exception = ovChainNew<TRuntimeException, runtimeRecord>(self);
    ovInitRef<String>(exception->error, &ovEmptyString);
    return 0;
}

int32_t runtimeExceptionDelete(Object* self) {
    ovReleaseRef(static_cast<TRuntimeException*>(self)->error);
    return ovChainDelete<runtimeRecord>(self);
}

String* runtimeExceptionText(Object* self) { return static_cast<TRuntimeException*>(self)->error; }

constexpr ovScopeEntry runtimeEntries[] = {
    OV_FIELD_ENTRY(TRuntimeException, error, "$"),
    OV_METHOD_ENTRY(ObjectClass, New, "()i"),
    OV_METHOD_ENTRY(ObjectClass, Delete, "()i"),
    OV_METHOD_ENTRY(ObjectClass, ToString, "()$"),
    OV_FUNCTION_ENTRY(TRuntimeExceptionClass, Create, "($):TRuntimeException"),
    ovScopeEndEntry,
};
constexpr ovScope runtimeScope = {OV_SCOPE_CLASS, "TRuntimeException", runtimeEntries};

constexpr TRuntimeExceptionClass runtimeRecord =
    ovMakeClass<TRuntimeExceptionClass, TRuntimeException>(orvaneRecord, &runtimeScope, [](auto& r) {
        r.New = runtimeExceptionNew;
        r.Delete = runtimeExceptionDelete;
        r.ToString = runtimeExceptionText;
        r.Create = TRuntimeExceptionCreate;
    });

[[noreturn]] void throwNew(const ObjectClass& cls) { ovThrow(ovObjectNew(&cls)); }

}  // namespace

const ObjectClass& TOrvaneExceptionType = orvaneRecord;
const ObjectClass& TNullObjectExceptionType = nullObjectRecord;
const ObjectClass& TNullMethodExceptionType = nullMethodRecord;
const ObjectClass& TNullFunctionExceptionType = nullFunctionRecord;
const ObjectClass& TArrayBoundsExceptionType = arrayBoundsRecord;
const ObjectClass& TOutOfDataExceptionType = outOfDataRecord;
const TRuntimeExceptionClass& TRuntimeExceptionType = runtimeRecord;

TRuntimeException* TRuntimeExceptionCreate(String* message) {
    auto* exception = ovNew<TRuntimeException>(&runtimeRecord);
    ovStore(exception->error, message);
    return exception;
}

void RaiseNullObject() { throwNew(nullObjectRecord); }
void RaiseNullMethod() { throwNew(nullMethodRecord); }
void RaiseNullFunction() { throwNew(nullFunctionRecord); }
void RaiseArrayBounds() { throwNew(arrayBoundsRecord); }
void RaiseOutOfData() { throwNew(outOfDataRecord); }
void RaiseRuntimeError(String* message) { ovThrow(runtimeRecord.Create(message)); }

void ovCoreModuleInit() {
    static bool initialised = false;
    if (initialised) return;
    initialised = true;
    for (const ObjectClass* cls : {&orvaneRecord, &nullObjectRecord, &nullMethodRecord, &nullFunctionRecord,
                                   &arrayBoundsRecord, &outOfDataRecord,
                                   static_cast<const ObjectClass*>(&runtimeRecord)})
        ovObjectRegisterType(cls);
}
