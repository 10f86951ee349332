// Class records, the construction and destruction chains, downcast, the
// default operations and the registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "tests/support/gc_test_support.h"
#include "tests/support/thrown_test_support.h"

namespace {

// A three-level hierarchy built on the chain helpers.  The constructors and
// destructors of the two upper levels log the class word they see, to check
// the order of the chains; the leaf has no fields and no code of its own.
struct TBase : Object {
    int32_t baseField;
};
struct TDerived : TBase {
    int32_t derivedField;
    int64_t extra[6];  // a size class of its own
};
struct TLeaf : TDerived {};

std::vector<std::string> chainLog;

std::string nameOf(const ObjectClass* cls) {
    if (cls == nullptr) return "0";
    return cls->scope->name;
}

extern const ObjectClass baseRecord, derivedRecord, leafRecord;

int32_t baseNew(Object* self) {
    ovChainNew<TBase, baseRecord>(self)->baseField = 0;
    chainLog.push_back("new TBase as " + nameOf(self->cls));
    return 0;
}

int32_t baseDelete(Object* self) {
    chainLog.push_back("delete TBase seeing " + nameOf(self->cls));
    return ovChainDelete<baseRecord>(self);
}

int32_t derivedNew(Object* self) {
    ovChainNew<TDerived, derivedRecord>(self)->derivedField = 0;
    chainLog.push_back("new TDerived as " + nameOf(self->cls));
    return 0;
}

int32_t derivedDelete(Object* self) {
    chainLog.push_back("delete TDerived seeing " + nameOf(self->cls));
    return ovChainDelete<derivedRecord>(self);
}

String* derivedToString(Object*) { return ovStringFromCString("derived"); }

const ovScope baseScope = {OV_SCOPE_CLASS, "TBase", ovNoScopeEntries};
const ovScope derivedScope = {OV_SCOPE_CLASS, "TDerived", ovNoScopeEntries};
const ovScope leafScope = {OV_SCOPE_CLASS, "TLeaf", ovNoScopeEntries};

constexpr ObjectClass baseRecord = ovMakeClass<ObjectClass, TBase>(ObjectType, &baseScope, [](auto& r) {
    r.New = baseNew;
    r.Delete = baseDelete;
});

constexpr ObjectClass derivedRecord = ovMakeClass<ObjectClass, TDerived>(baseRecord, &derivedScope, [](auto& r) {
    r.New = derivedNew;
    r.Delete = derivedDelete;
    r.ToString = derivedToString;
});

constexpr ObjectClass leafRecord = ovMakeClass<ObjectClass, TLeaf>(derivedRecord, &leafScope, [](auto& r) {
    r.New = ovFieldlessNew<leafRecord>;
    r.Delete = ovChainDelete<leafRecord>;
});

TEST(ObjectChains, ConstructorsRunSuperclassFirstAndDestructorsSubclassFirst) {
    chainLog.clear();
    Object* o = ovObjectNew(&leafRecord);
    EXPECT_EQ(o->cls, &leafRecord);
    EXPECT_EQ((std::vector<std::string>{"new TBase as TBase", "new TDerived as TDerived"}), chainLog);
    ovTestHoldOutsideTable(o);
    chainLog.clear();
    o->refs = 0;  // as if the collector had found it unreferenced
    const int64_t before = ovGCGetState().bytesInUse;
    ovObjectFree(o);
    EXPECT_EQ((std::vector<std::string>{"delete TDerived seeing TDerived", "delete TBase seeing TBase"}), chainLog);
    EXPECT_EQ(ovGCGetState().bytesInUse, before - static_cast<int64_t>(sizeof(TLeaf)))
        << "the size comes from the record the instance had before its destructor";
}

TEST(ObjectChains, DestructorChainStopsAboveObject) {
    Object* o = ovObjectNew(&baseRecord);
    EXPECT_EQ(baseRecord.Delete(o), 0);
    EXPECT_EQ(o->cls, &baseRecord) << "Object's own Delete, which clears word 0, is not run";
}

TEST(ObjectChains, AnOverrideKeepsTheInheritedSlots) {
    EXPECT_EQ(derivedRecord.Compare, ObjectType.Compare);
    EXPECT_EQ(derivedRecord.SendMessage, ObjectType.SendMessage);
    EXPECT_NE(derivedRecord.ToString, ObjectType.ToString);
    EXPECT_EQ(derivedRecord.super, &baseRecord);
    EXPECT_EQ(derivedRecord.free, ovObjectFree);
}

TEST(ObjectDowncast, FollowsSuperLinks) {
    Object* derived = ovObjectNew(&derivedRecord);
    Object* plain = ovObjectNew(&ObjectType);
    EXPECT_EQ(ovObjectDowncast(derived, &derivedRecord), derived);
    EXPECT_EQ(ovObjectDowncast(derived, &baseRecord), derived);
    EXPECT_EQ(ovObjectDowncast(derived, &ObjectType), derived);
    EXPECT_EQ(ovObjectDowncast(plain, &baseRecord), ovNull);
    EXPECT_EQ(ovObjectDowncast(ovNull, &ObjectType), ovNull);
    EXPECT_EQ(ovObjectDowncast(derived, &TCountedType), ovNull);
}

TEST(ObjectDefaults, ToStringPrintsTheAddress) {
    Object* a = ovObjectNew(&ObjectType);
    Object* b = ovObjectNew(&ObjectType);
    const std::string textA = ovStringToCString(a->ToString());
    const std::string textB = ovStringToCString(b->ToString());
    char expected[32];
    std::snprintf(expected, sizeof expected, "%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(a)));
    EXPECT_EQ(textA, expected);
    EXPECT_NE(textA, textB);
}

TEST(ObjectDefaults, CompareIsZeroOnlyForTheSameInstanceAndAntisymmetric) {
    Object* a = ovObjectNew(&ObjectType);
    Object* b = ovObjectNew(&ObjectType);
    EXPECT_EQ(a->Compare(a), 0);
    EXPECT_NE(a->Compare(b), 0);
    EXPECT_EQ(a->Compare(b), -b->Compare(a));
    // Addresses 2^32 apart differ only above the low 32 bits.
    auto* far = reinterpret_cast<Object*>(reinterpret_cast<uintptr_t>(a) + (uintptr_t{1} << 32));
    EXPECT_NE(ovObjectCompare(a, far), 0);
    EXPECT_LT(ovObjectCompare(a, far), 0);
}

TEST(ObjectDefaults, SendMessageAnswersNull) {
    Object* a = ovObjectNew(&ObjectType);
    EXPECT_EQ(a->SendMessage(a, ovNull), ovNull);
}

TEST(ObjectDefaults, ReservedSlotsRaiseARuntimeError) {
    Object* a = ovObjectNew(&ObjectType);
    EXPECT_EQ(ovTestThrownText([a] { a->cls->reserved[1](a); }), u"Illegal call to reserved method");
}

TEST(ObjectNull, FreeingTheNullObjectRestoresItsCount) {
    ovNullObject.refs = 0;
    ovObjectFree(ovNull);
    EXPECT_EQ(ovNullObject.refs, OV_STATIC_COUNT);
}

TEST(ObjectNull, DispatchThroughNullThrowsInsteadOfReadingWordZero) {
    bool caught = false;
    OV_TRY {
        ovNull->ToString();
    }
    OV_CATCH(e) {
        caught = ovIsInstance(e, &TNullObjectExceptionType);
    }
    OV_END_TRY
    EXPECT_TRUE(caught);
}

TEST(ObjectNull, NullValuesByTypeTag) {
    EXPECT_EQ(ovNullValueOf(":TStream"), reinterpret_cast<intptr_t>(ovNull));
    EXPECT_EQ(ovNullValueOf("$"), reinterpret_cast<intptr_t>(&ovEmptyString));
    EXPECT_EQ(ovNullValueOf("(i)i"), reinterpret_cast<intptr_t>(&RaiseNullFunction));
    EXPECT_EQ(ovNullValueOf("i"), 0);
    EXPECT_EQ(ovNullValueOf("d"), 0);
}

// A counted field changes only through its members: a plain assignment of a
// pointer, or of another field, does not compile.
static_assert(!std::is_assignable_v<ovRef<String>&, String*>);
static_assert(!std::is_assignable_v<ovRef<String>&, const ovRef<String>&>);
static_assert(sizeof(ovRef<String>) == sizeof(String*) && std::is_trivially_default_constructible_v<ovRef<String>>);

TEST(CountedFields, SetRetainsTheNewValueAndReleasesTheOldOne) {
    ovRef<Object> field{};
    auto* first = ovNew<TCounted>(&TCountedType);
    auto* second = ovNew<TCounted>(&TCountedType);
    ovGCRetain(first);  // held by the test, so the release below does not queue it
    const int32_t firstRefs = first->refs;
    field.init(first);
    EXPECT_EQ(first->refs, firstRefs + 1);
    field.set(second);
    EXPECT_EQ(first->refs, firstRefs);
    EXPECT_EQ(field.get(), second);
    EXPECT_EQ(static_cast<Object*>(field), second);
    field.release();
    ovGCRelease(first);
}

// An initialiser's body runs once, and a call that comes back while it runs
// returns at once instead of running it again.
TEST(ModuleInitialisers, RunOnceAndReturnAtOnceWhenReentered) {
    static bool started = false;
    static int runs = 0;
    static void (*init)() = nullptr;
    init = [] {
        ovModuleInitOnce(started, [] {
            ++runs;
            init();  // an imported module that imports this one back
        });
    };
    init();
    init();
    EXPECT_EQ(runs, 1);
}

TEST(ObjectRegistry, GrowsBy256KeepingTheOrder) {
    int32_t count = 0;
    ovObjectRegisteredTypes(&count);
    const int32_t start = count;
    static ObjectClass records[300];
    const int32_t toAdd = 257 - (start % 256) + 1;  // crosses one more 256 boundary
    for (int32_t i = 0; i < toAdd; ++i) ovObjectRegisterType(&records[i]);
    const ObjectClass* const* entries = ovObjectRegisteredTypes(&count);
    ASSERT_EQ(count, start + toAdd);
    EXPECT_EQ(ovObjectRegistryCapacity() % 256, 0);
    EXPECT_GE(ovObjectRegistryCapacity(), count);
    EXPECT_LT(ovObjectRegistryCapacity() - count, 256);
    for (int32_t i = 0; i < toAdd; ++i) EXPECT_EQ(entries[start + i], &records[i]);
}

}  // namespace
