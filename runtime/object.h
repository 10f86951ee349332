// The object model: class records, reflection scopes, the instance header,
// reference counts, the Null object, construction, destruction, downcast and
// the class registry.
//
// A class record is a static struct whose leading words are fixed (super,
// free, scope, size, New, Delete, ToString, Compare, SendMessage, three
// reserved slots); a subclass's record type derives from its superclass's
// record type, so its own operations follow in declaration order and an
// override simply replaces the superclass's slot.  Instances are plain structs
// deriving from their superclass's instance struct; they have no constructors
// and no C++ virtual functions, so the header stays exactly two words.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

struct Object;
struct String;
struct Array;
struct ObjectClass;

// ---------------------------------------------------------------------------
// Reflection scopes
// ---------------------------------------------------------------------------

enum ovScopeKind : int32_t {
    OV_SCOPE_END = 0,
    OV_SCOPE_CONSTANT = 1,
    OV_SCOPE_CLASS = 2,
    OV_SCOPE_FIELD = 3,
    OV_SCOPE_METHOD = 6,
    OV_SCOPE_FUNCTION = 7,
};

// One declaration of a class: a constant (value: a static String holding the
// constant's text), a field (value: byte offset in the instance), a method or
// a class function (value: byte offset of its slot in the class record).
struct ovScopeEntry {
    intptr_t kind;
    const char* name;
    const char* type;  // type tag, e.g. "i", "$", ":TStream", "($,i,i):TCStream"
    intptr_t value;
};

// A class's reflection scope: kind OV_SCOPE_CLASS, the class name, then the
// entries in declaration order, ended by an entry of kind OV_SCOPE_END.
struct ovScope {
    intptr_t kind;
    const char* name;
    const ovScopeEntry* entries;
};

// The entry that ends every entries list, and the list of a scope that
// holds only the class name.
inline constexpr ovScopeEntry ovScopeEndEntry = {OV_SCOPE_END, nullptr, nullptr, 0};
extern const ovScopeEntry ovNoScopeEntries[1];

// ---------------------------------------------------------------------------
// Class records
// ---------------------------------------------------------------------------

using ovFreeFunction = void (*)(Object*);

struct ObjectClass {
    const ObjectClass* super;  // 0 for Object
    ovFreeFunction free;       // called by the collector to reclaim an instance
    const ovScope* scope;
    int32_t size;  // instance size in bytes, header included; 0 for String and Array
    int32_t (*New)(Object* self);
    int32_t (*Delete)(Object* self);
    String* (*ToString)(Object* self);
    int32_t (*Compare)(Object* self, Object* other);
    Object* (*SendMessage)(Object* self, Object* message, Object* context);
    int32_t (*reserved[3])(Object* self);
};

// ---------------------------------------------------------------------------
// Instances
// ---------------------------------------------------------------------------

// Count values of instances that live in static data: retain and release never
// bring them to zero.
inline constexpr int32_t OV_STATIC_COUNT = 0x40000000;
inline constexpr int32_t OV_LITERAL_COUNT = 0x7fffffff;
// High bit of the count: the instance waits in the collector's zero-count
// table (the rules are at the top of runtime/collector.cpp).
inline constexpr uint32_t OV_QUEUED_BIT = 0x80000000u;

[[noreturn]] void RaiseNullObject();

// The header every instance begins with.  The explicit padding keeps the
// header at 16 bytes so that fields start on an 8-byte boundary.
struct Object {
    const ObjectClass* cls;  // 0 in the Null object
    int32_t refs;
    int32_t headerPad;

    // The record of this instance's class, typed as the record that introduced
    // the slot being called.  A dispatch through the Null object throws
    // TNullObjectException instead of reading class word 0.
    template <class Record = ObjectClass>
    const Record* record();

    inline String* ToString();
    inline int32_t Compare(Object* other);
    inline Object* SendMessage(Object* message, Object* context);
};

// The Null object: what every object reference holds when it refers to nothing.
extern Object ovNullObject;
inline Object* const ovNull = &ovNullObject;

// The Null object seen as a reference of the class T: the initial value of
// a T field and the "nothing" result of a function returning a T.
template <class T>
constexpr T* ovNullOf() {
    return static_cast<T*>(ovNull);
}

template <class Record>
inline const Record* Object::record() {
    if (this == &ovNullObject) [[unlikely]]
        RaiseNullObject();
    return static_cast<const Record*>(cls);
}

inline String* Object::ToString() { return record()->ToString(this); }
inline int32_t Object::Compare(Object* other) { return record()->Compare(this, other); }
inline Object* Object::SendMessage(Object* message, Object* context) {
    return record()->SendMessage(this, message, context);
}

// ---------------------------------------------------------------------------
// Reference counts
// ---------------------------------------------------------------------------

void ovGCFree(Object* instance);
// Queues an instance whose count another thread's release brought to zero,
// unless a retain came first.
void ovGCQueueReleased(Object* instance);
// Queues an instance whose last release set its queued mark itself.
void ovGCQueueMarked(Object* instance);

// Set while a created thread has not ended.  Meanwhile counts change by
// atomic read-modify-writes, so that threads retaining and releasing one
// instance lose no count, and the collector takes its lock.  Read with
// acquire, so that once the last other thread has ended what it did to
// counts is seen by the plain updates that follow.
extern std::atomic<bool> ovMultiThreaded;

inline bool ovCountsShared() { return ovMultiThreaded.load(std::memory_order_acquire); }

inline std::atomic_ref<int32_t> ovSharedCount(Object* o) { return std::atomic_ref<int32_t>(o->refs); }

// While others exist an instance in static data keeps its count as it is:
// every thread counts the Null object, the empty String and literals, and
// none writes the line they would all share.  Such a count starts at
// OV_STATIC_COUNT or OV_LITERAL_COUNT and never reaches zero; the range
// from half of OV_STATIC_COUNT up to the queued bit holds both, and no count
// of an instance on the heap comes near it.
inline constexpr uint32_t OV_FIXED_COUNT_FLOOR = static_cast<uint32_t>(OV_STATIC_COUNT) / 2;

inline bool ovIsFixedCount(int32_t refs) {
    return static_cast<uint32_t>(refs) - OV_FIXED_COUNT_FLOOR < OV_QUEUED_BIT - OV_FIXED_COUNT_FLOOR;
}

// The counting state of a thread.  While every other registered thread waits
// in a blocking call, the one left may count plainly: `alone` is set by
// ovThreadTryCountingAlone.  A thread leaving its blocking call clears it
// while the one counting alone is stopped, and only between two of its
// updates: `updating` is set around each update, before `alone` is read, and
// the stop runs on the updating thread itself, so compiler fences order them.
struct ovCountingState {
    std::atomic<uint8_t> alone;
    std::atomic<uint8_t> updating;
};
[[gnu::tls_model("initial-exec")]] extern constinit thread_local ovCountingState ovOwnCounting;

// The plain counterpart of ovSharedCount, for the thread counting alone.
// Arithmetic wraps as atomic arithmetic does.
struct ovAloneCount {
    int32_t& refs;
    int32_t load(std::memory_order) const { return refs; }
    int32_t fetch_add(int32_t n, std::memory_order) { return exchange(int64_t{refs} + n); }
    int32_t fetch_sub(int32_t n, std::memory_order) { return exchange(int64_t{refs} - n); }
    bool compare_exchange_strong(int32_t& expected, int32_t desired, std::memory_order) {
        if (refs != expected) {
            expected = refs;
            return false;
        }
        refs = desired;
        return true;
    }

private:
    int32_t exchange(int64_t next) {
        const int32_t old = refs;
        refs = static_cast<int32_t>(static_cast<uint32_t>(next));
        return old;
    }
};

// One count update while others exist, plainly while this thread counts
// alone, atomically otherwise.
template <class Update>
inline auto ovUpdateSharedCount(Object* o, Update update) {
    ovCountingState& own = ovOwnCounting;
    own.updating.store(1, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const auto result = own.alone.load(std::memory_order_relaxed) != 0 ? update(ovAloneCount{o->refs})
                                                                        : update(ovSharedCount(o));
    std::atomic_signal_fence(std::memory_order_seq_cst);
    own.updating.store(0, std::memory_order_relaxed);
    return result;
}

// While others exist, an instance that its thread made and nothing has
// counted yet carries that thread's private mark (a negative pad word): no
// other thread can know it, so its own thread's pass need not stop them for
// it.  The first counted reference, which can only be taken on that thread,
// takes the mark off before any other thread can read the reference.
inline void ovGCClearPrivateMark(Object* o) {
    std::atomic_ref<int32_t> pad(o->headerPad);
    if (pad.load(std::memory_order_relaxed) < 0) [[unlikely]]
        pad.store(0, std::memory_order_relaxed);
}

// Count arithmetic wraps: a literal at 0x7fffffff goes to 0x80000000 and back
// (atomic arithmetic on signed words wraps as well).
inline Object* ovGCRetain(Object* o) {
    if (ovCountsShared()) [[unlikely]] {
        return ovUpdateSharedCount(o, [o](auto count) {
            if (!ovIsFixedCount(count.load(std::memory_order_relaxed))) {
                count.fetch_add(1, std::memory_order_relaxed);
                ovGCClearPrivateMark(o);
            }
            return o;
        });
    }
    o->refs = static_cast<int32_t>(static_cast<uint32_t>(o->refs) + 1u);
    return o;
}

// What a release leaves to do once the count is written: the queueing
// happens outside the update, which stays a few instructions long.
enum class ovReleased : uint8_t { held, marked, reachedZero };

// The release of the last reference goes from 1 to the queued mark in one
// step; any other is a decrement, whose zero then has to be marked.
inline void ovGCReleaseShared(Object* o) {
    const ovReleased released = ovUpdateSharedCount(o, [](auto count) {
        int32_t refs = count.load(std::memory_order_relaxed);
        if (refs == 1 &&
            count.compare_exchange_strong(refs, static_cast<int32_t>(OV_QUEUED_BIT), std::memory_order_acq_rel))
            return ovReleased::marked;
        if (ovIsFixedCount(refs)) return ovReleased::held;
        return count.fetch_sub(1, std::memory_order_acq_rel) == 1 ? ovReleased::reachedZero : ovReleased::held;
    });
    if (released == ovReleased::marked)
        ovGCQueueMarked(o);
    else if (released == ovReleased::reachedZero)
        ovGCQueueReleased(o);
}

inline void ovGCRelease(Object* o) {
    if (ovCountsShared()) [[unlikely]] {
        ovGCReleaseShared(o);
        return;
    }
    const int32_t refs = static_cast<int32_t>(static_cast<uint32_t>(o->refs) - 1u);
    o->refs = refs;
    if (refs == 0) ovGCFree(o);
}

// Stores a counted reference: retains the new value, releases the old one
// (queueing it when its count reaches zero) and stores.  Array elements and
// globals that are plain pointers change through this helper; fields of
// instances are ovRef and change through its members.
template <class T>
inline void ovStore(T*& slot, T* value) {
    ovGCRetain(value);
    T* old = slot;
    ovGCRelease(old);
    slot = value;
}

// A counted reference held in a field of an instance (or in a global).  It is
// one plain pointer, so instance structs stay trivially laid out, and it has
// no assignment from a raw pointer: a store must say whether the field held a
// counted reference before (set) or not yet (init), and a destructor releases
// it explicitly.  Reading converts to the plain pointer.
template <class T>
struct ovRef {
    T* ptr;

    // The first store of a constructor: nothing held yet, nothing released.
    void init(T* value) {
        ovGCRetain(value);
        ptr = value;
    }
    void set(T* value) { ovStore(ptr, value); }
    // The destructor's release; the field is not used again.
    void release() { ovGCRelease(ptr); }

    T* get() const { return ptr; }
    operator T*() const { return ptr; }
    T* operator->() const { return ptr; }

    ovRef& operator=(const ovRef&) = delete;
    ovRef& operator=(T*) = delete;
};

// Keeps a managed object visibly alive up to this point, so that a pointer
// derived from it (its units, its elements) stays valid across allocations.
inline void ovKeepAlive(const void* object) { asm volatile("" : : "g"(object) : "memory"); }

// ---------------------------------------------------------------------------
// Object operations
// ---------------------------------------------------------------------------

extern const ovScope ObjectScope;

// Creates an instance: allocates the record's size, runs its New chain.
Object* ovObjectNew(const ObjectClass* cls);
// The free function of ordinary classes: runs Delete, returns the memory.
void ovObjectFree(Object* instance);
// The instance, or the Null object when its class is not cls or a subclass.
Object* ovObjectDowncast(Object* instance, const ObjectClass* cls);
// Raises "Illegal call to reserved method".
int32_t ovObjectReserved(Object* self);

// Object's own operations, the defaults every record starts from.
int32_t ovObjectCtor(Object* self);
int32_t ovObjectDtor(Object* self);
String* ovObjectToString(Object* self);
int32_t ovObjectCompare(Object* self, Object* other);
Object* ovObjectSendMessage(Object* self, Object* message, Object* context);

// Object's record.  It is a constant, so records of other classes can be
// derived from it at compile time.
inline constexpr ObjectClass ObjectType = {
    nullptr,
    ovObjectFree,
    &ObjectScope,
    static_cast<int32_t>(sizeof(Object)),
    ovObjectCtor,
    ovObjectDtor,
    ovObjectToString,
    ovObjectCompare,
    ovObjectSendMessage,
    {ovObjectReserved, ovObjectReserved, ovObjectReserved},
};

// Typed creation and downcast for instance structs.
template <class T>
inline T* ovNew(const ObjectClass* cls) {
    return static_cast<T*>(ovObjectNew(cls));
}

// True when the object is an instance of cls or of a subclass.
inline bool ovIsInstance(Object* o, const ObjectClass* cls) { return ovObjectDowncast(o, cls) != ovNull; }

// Fills a subclass record from its superclass's: the inherited slots are
// copied, super points at the base record, the free function is ovObjectFree,
// and scope and size are the subclass's own.  Overrides and own slots are set
// by the caller afterwards.  Usable at compile time, so a record derived from
// a constant record is itself constant-initialised; a record derived from one
// defined in another file must be filled by its module's initialiser, since
// the order of dynamic initialisation across files is unspecified.
template <class Record, class BaseRecord>
constexpr void ovDeriveClass(Record& record, const BaseRecord& base, const ovScope* scope, int32_t size) {
    static_assert(sizeof(Record) >= sizeof(BaseRecord));
    static_cast<BaseRecord&>(record) = base;
    record.super = &base;
    record.free = ovObjectFree;
    record.scope = scope;
    record.size = size;
}

// A subclass record derived from base by ovDeriveClass, sized for Instance,
// with the overrides and own slots that fill sets.  One form for records
// built at compile time and for those a module initialiser fills.
template <class Record, class Instance, class BaseRecord, class Fill>
constexpr Record ovMakeClass(const BaseRecord& base, const ovScope* scope, Fill fill) {
    Record record{};
    ovDeriveClass(record, base, scope, static_cast<int32_t>(sizeof(Instance)));
    fill(record);
    return record;
}

// ---------------------------------------------------------------------------
// Lists of operations
// ---------------------------------------------------------------------------
//
// A class's own operations are written once, in slot order, as a macro that
// applies X to each:
//
//     X(Self, Result, Slot, (parameters), (arguments), "reflection type", ...)
//
// Self is the instance struct that introduces the slot, Self##Class its
// record and Self##Slot the class's own function for it.  The record's
// slots, the instance's member functions, the declarations of the own
// functions, the filling of the record and the reflection entries are all
// made from the one list, so a slot added or moved changes each of them and
// a mismatch does not compile.  A list may carry further columns of its own
// after the type; the makers below ignore them.

#define OV_UNPAREN(...) __VA_ARGS__
#define OV_PREPEND_(first, ...) (first __VA_OPT__(, ) __VA_ARGS__)
#define OV_PREPEND(first, ...) OV_PREPEND_(first, __VA_ARGS__)
// A parenthesised parameter or argument list with self put first.
#define OV_WITH_SELF(self, list) OV_PREPEND(self, OV_UNPAREN list)

// The record's slot.
#define OV_SLOT(Self, Result, Slot, Params, Args, ...) Result(*Slot) OV_WITH_SELF(Self* self, Params);
// The instance's member function, which dispatches through the record.
#define OV_DISPATCH(Self, Result, Slot, Params, Args, ...) \
    Result Slot Params { return record<Self##Class>()->Slot OV_WITH_SELF(this, Args); }
// The declaration of the class's own function for the slot.
#define OV_DECLARE_OWN(Self, Result, Slot, Params, Args, ...) Result Self##Slot OV_WITH_SELF(Self* self, Params);
// Stores the class's own function in the record r being filled (a method's
// or a class function's).
#define OV_FILL_OWN(Self, Result, Slot, ...) r.Slot = Self##Slot;

// A list of class functions has the same columns, its parameters without
// self; a class function is called through the record (TListType.FromArray),
// so it has no member function.  Its slot and the declaration of the class's
// own function:
#define OV_FUNCTION_SLOT(Self, Result, Slot, Params, Args, ...) Result(*Slot) Params;
#define OV_DECLARE_OWN_FUNCTION(Self, Result, Slot, Params, Args, ...) Result Self##Slot Params;

// ---------------------------------------------------------------------------
// Constructor and destructor chains
// ---------------------------------------------------------------------------
//
// New runs the superclass's New first, then stores the class's own record in
// word 0 and sets the class's own fields (object references to the Null
// object, strings to the empty string, numbers to 0).  Delete releases the
// class's own counted fields, then stores the superclass's record in word 0
// and hands the instance to the superclass's Delete, so each level sees its
// own record.  Object's Delete is only for plain Object instances: a chain
// ends above it.  Self is the class's record; its super link names the
// superclass, so a record filled at run time works as well as a constant one.

// The start of a New: the superclass's New, then Self in word 0.  Returns the
// instance as the class's struct for the New to set its own fields.
template <class Instance, const auto& Self>
inline Instance* ovChainNew(Object* self) {
    Self.super->New(self);
    self->cls = &Self;
    return static_cast<Instance*>(self);
}

// The whole New of a class without fields of its own.
template <const auto& Self>
int32_t ovFieldlessNew(Object* self) {
    ovChainNew<Object, Self>(self);
    return 0;
}

// The end of a Delete (and the whole Delete of a class without counted
// fields): the superclass's Delete with the superclass's record in word 0.
template <const auto& Self>
int32_t ovChainDelete(Object* self) {
    const ObjectClass* super = Self.super;
    if (super == &ObjectType) return 0;
    self->cls = super;
    return super->Delete(self);
}

// The null value of a type by the first character of its type tag: the Null
// object, the empty array, the empty string, the null function, or 0.
intptr_t ovNullValueOf(const char* typeTag);

// ---------------------------------------------------------------------------
// Class registry
// ---------------------------------------------------------------------------

void ovObjectRegisterType(const ObjectClass* cls);
// Registers each class in order.
void ovObjectRegisterTypes(std::initializer_list<const ObjectClass*> classes);
const ObjectClass* const* ovObjectRegisteredTypes(int32_t* count);
// Entries the registry has room for before it grows again.
int32_t ovObjectRegistryCapacity();

// ---------------------------------------------------------------------------
// Module initialisers
// ---------------------------------------------------------------------------

// Runs a module initialiser's body once: it runs the initialisers of the
// modules it imports, registers its classes and creates its globals.  The
// flag is set before the body runs, because initialisers of modules that
// import each other come back here, and the second call must return at once.
//
//     void ovBankModuleInit() {
//         static bool started = false;
//         ovModuleInitOnce(started, [] { ovStreamModuleInit(); ovObjectRegisterTypes({&TBankType}); });
//     }
template <class Body>
inline void ovModuleInitOnce(bool& started, Body body) {
    if (started) return;
    started = true;
    body();
}
