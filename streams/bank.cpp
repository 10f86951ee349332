// Banks and the bank module's functions.
#include "streams/bank.h"

#include <climits>
#include <cstring>

#include "runtime/array.h"
#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/reflection.h"
#include "runtime/string.h"
#include "streams/factory.h"
#include "streams/load_save.h"
#include "streams/stream.h"

namespace {

// ---------------------------------------------------------------------------
// Checks
// ---------------------------------------------------------------------------

// Accesses are checked in 64 bits, so that offset + count cannot wrap.
void checkRange(int32_t size, int64_t offset, int64_t count) {
    if (offset < 0 || count < 0 || offset + count > size) RaiseRuntimeError(ovLiteral(u"Bank offset out of range"));
}

// A negative size would read as the static marker (-1) or as a huge
// allocation.
void checkSize(int32_t size) {
    if (size < 0) RaiseRuntimeError(ovLiteral(u"Negative bank size"));
}

// ---------------------------------------------------------------------------
// Methods
// ---------------------------------------------------------------------------

int32_t TBank_pad(TBank*) { return 0; }
uint8_t* TBankBuf(TBank* self) { return self->_buf; }
uint8_t* TBankLock(TBank* self) {
    ++self->_locked;
    return self->_buf;
}
int32_t TBankUnlock(TBank* self) {
    --self->_locked;
    return 0;
}
int32_t TBankSize(TBank* self) { return self->_size; }
int32_t TBankCapacity(TBank* self) { return self->_capacity; }

// At least half as much again as before, so that a bank grown a little at a
// time is copied only a logarithmic number of times.  A static bank (-1)
// gets exactly the size asked for.
int32_t grownCapacity(int32_t capacity, int32_t size) {
    const int64_t grown = int64_t{capacity} * 3 / 2;
    if (grown < size) return size;
    return grown > INT32_MAX ? INT32_MAX : static_cast<int32_t>(grown);
}

void reallocate(TBank* self, int32_t capacity) {
    auto* buf = static_cast<uint8_t*>(ovMemAlloc(static_cast<size_t>(capacity)));
    // A static bank may be larger than the capacity it is given.
    const int32_t kept = self->_size < capacity ? self->_size : capacity;
    if (kept > 0) ovMemCopy(buf, self->_buf, static_cast<size_t>(kept));
    if (self->_capacity != TBank::STATIC_CAPACITY) ovMemFree(self->_buf);
    self->_buf = buf;
    self->_capacity = capacity;
}

int32_t TBankResize(TBank* self, int32_t size) {
    checkSize(size);
    if (size > self->_capacity) reallocate(self, grownCapacity(self->_capacity, size));
    self->_size = size;
    return 0;
}

int32_t TBankRead(TBank* self, TStream* stream, int32_t offset, int32_t count) {
    checkRange(self->_size, offset, count);
    return stream->Read(self->_buf + offset, count);
}

int32_t TBankWrite(TBank* self, TStream* stream, int32_t offset, int32_t count) {
    checkRange(self->_size, offset, count);
    return stream->Write(self->_buf + offset, count);
}

// Typed access: Stored is the width in memory, Value the type handed in or
// out (Bytes and Shorts travel as Ints, zero-extended on the way out).
template <class Stored, class Value>
Value bankPeek(TBank* self, int32_t offset) {
    checkRange(self->_size, offset, sizeof(Stored));
    Stored stored;
    std::memcpy(&stored, self->_buf + offset, sizeof stored);
    return static_cast<Value>(stored);
}

template <class Stored, class Value>
int32_t bankPoke(TBank* self, int32_t offset, Value value) {
    checkRange(self->_size, offset, sizeof(Stored));
    const auto stored = static_cast<Stored>(value);
    std::memcpy(self->_buf + offset, &stored, sizeof stored);
    return 0;
}

int32_t TBankPeekByte(TBank* self, int32_t offset) { return bankPeek<uint8_t, int32_t>(self, offset); }
int32_t TBankPokeByte(TBank* self, int32_t offset, int32_t value) { return bankPoke<uint8_t>(self, offset, value); }
int32_t TBankPeekShort(TBank* self, int32_t offset) { return bankPeek<uint16_t, int32_t>(self, offset); }
int32_t TBankPokeShort(TBank* self, int32_t offset, int32_t value) { return bankPoke<uint16_t>(self, offset, value); }
int32_t TBankPeekInt(TBank* self, int32_t offset) { return bankPeek<int32_t, int32_t>(self, offset); }
int32_t TBankPokeInt(TBank* self, int32_t offset, int32_t value) { return bankPoke<int32_t>(self, offset, value); }
int64_t TBankPeekLong(TBank* self, int32_t offset) { return bankPeek<int64_t, int64_t>(self, offset); }
int32_t TBankPokeLong(TBank* self, int32_t offset, int64_t value) { return bankPoke<int64_t>(self, offset, value); }
float TBankPeekFloat(TBank* self, int32_t offset) { return bankPeek<float, float>(self, offset); }
int32_t TBankPokeFloat(TBank* self, int32_t offset, float value) { return bankPoke<float>(self, offset, value); }
double TBankPeekDouble(TBank* self, int32_t offset) { return bankPeek<double, double>(self, offset); }
int32_t TBankPokeDouble(TBank* self, int32_t offset, double value) { return bankPoke<double>(self, offset, value); }

int32_t TBankSave(TBank* self, Object* url) {
    TStream* stream = StreamOpen(url, 0, 1);
    if (stream == ovNullOf<TStream>()) return 0;
    ovStreamCloser closer(stream);
    stream->WriteBytes(self->_buf, self->_size);
    closer.closeWritten();
    return 1;
}

// ---------------------------------------------------------------------------
// Construction
// ---------------------------------------------------------------------------

int32_t TBankNew(Object* self) {
    auto* bank = ovChainNew<TBank, TBankType>(self);
    bank->_buf = nullptr;
    bank->_size = 0;
    bank->_capacity = 0;
    bank->_locked = 0;
    return 0;
}

int32_t TBankDelete(Object* self) {
    auto* bank = static_cast<TBank*>(self);
    if (bank->_capacity != TBank::STATIC_CAPACITY) ovMemFree(bank->_buf);
    return ovChainDelete<TBankType>(self);
}

// ---------------------------------------------------------------------------
// Reflection
// ---------------------------------------------------------------------------

const ovScopeEntry bankEntries[] = {
    ovConstantEntry("STATIC_CAPACITY", ovLiteral(u"-1")),
    OV_FIELD_ENTRY(TBank, _buf, "*b"),
    OV_FIELD_ENTRY(TBank, _size, "i"),
    OV_FIELD_ENTRY(TBank, _capacity, "i"),
    OV_FIELD_ENTRY(TBank, _locked, "i"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    OV_BANK_OPERATIONS(OV_LISTED_ENTRY) OV_BANK_FUNCTIONS(OV_LISTED_FUNCTION_ENTRY) ovScopeEndEntry,
};

constexpr ovScope bankScope = {OV_SCOPE_CLASS, "TBank", bankEntries};

}  // namespace

constexpr TBankClass TBankType = ovMakeClass<TBankClass, TBank>(ObjectType, &bankScope, [](auto& r) {
    r.New = TBankNew;
    r.Delete = TBankDelete;
    OV_BANK_OPERATIONS(OV_FILL_OWN)
    OV_BANK_FUNCTIONS(OV_FILL_OWN)
});

// ---------------------------------------------------------------------------
// Class functions
// ---------------------------------------------------------------------------

TBank* TBankCreate(int32_t size) {
    checkSize(size);
    auto* bank = ovNew<TBank>(&TBankType);
    bank->_buf = static_cast<uint8_t*>(ovMemAlloc(static_cast<size_t>(size)));
    bank->_size = size;
    bank->_capacity = size;
    return bank;
}

TBank* TBankCreateStatic(uint8_t* address, int32_t size) {
    checkSize(size);
    auto* bank = ovNew<TBank>(&TBankType);
    bank->_buf = address;
    bank->_size = size;
    bank->_capacity = TBank::STATIC_CAPACITY;
    return bank;
}

TBank* TBankLoad(Object* url) {
    TStream* stream = StreamOpen(url, 1, 0);
    if (stream == ovNullOf<TStream>()) return ovNullOf<TBank>();
    ovStreamCloser closer(stream);
    Array* bytes = LoadBytes(stream);
    TBank* bank = TBankCreate(bytes->count());
    if (bytes->count() > 0) ovMemCopy(bank->_buf, bytes->elements<uint8_t>(), static_cast<size_t>(bytes->count()));
    ovKeepAlive(bytes);
    closer.close();
    return bank;
}

// ---------------------------------------------------------------------------
// Module functions
// ---------------------------------------------------------------------------

TBank* BankNew(int32_t size) { return TBankType.Create(size); }
TBank* BankOverMemory(uint8_t* address, int32_t size) { return TBankType.CreateStatic(address, size); }
TBank* BankLoad(Object* url) { return TBankType.Load(url); }
int32_t BankSave(TBank* bank, Object* url) { return bank->Save(url); }
uint8_t* BankBytes(TBank* bank) { return bank->Buf(); }
uint8_t* BankLock(TBank* bank) { return bank->Lock(); }
int32_t BankUnlock(TBank* bank) { return bank->Unlock(); }
int32_t BankLength(TBank* bank) { return bank->Size(); }
int32_t BankRoom(TBank* bank) { return bank->Capacity(); }
int32_t BankResize(TBank* bank, int32_t size) { return bank->Resize(size); }
int32_t BankPeekByte(TBank* bank, int32_t offset) { return bank->PeekByte(offset); }
int32_t BankPokeByte(TBank* bank, int32_t offset, int32_t value) { return bank->PokeByte(offset, value); }
int32_t BankPeekShort(TBank* bank, int32_t offset) { return bank->PeekShort(offset); }
int32_t BankPokeShort(TBank* bank, int32_t offset, int32_t value) { return bank->PokeShort(offset, value); }
int32_t BankPeekInt(TBank* bank, int32_t offset) { return bank->PeekInt(offset); }
int32_t BankPokeInt(TBank* bank, int32_t offset, int32_t value) { return bank->PokeInt(offset, value); }
int64_t BankPeekLong(TBank* bank, int32_t offset) { return bank->PeekLong(offset); }
int32_t BankPokeLong(TBank* bank, int32_t offset, int64_t value) { return bank->PokeLong(offset, value); }
float BankPeekFloat(TBank* bank, int32_t offset) { return bank->PeekFloat(offset); }
int32_t BankPokeFloat(TBank* bank, int32_t offset, float value) { return bank->PokeFloat(offset, value); }
double BankPeekDouble(TBank* bank, int32_t offset) { return bank->PeekDouble(offset); }
int32_t BankPokeDouble(TBank* bank, int32_t offset, double value) { return bank->PokeDouble(offset, value); }
int32_t BankReadFrom(TBank* bank, TStream* stream, int32_t offset, int32_t count) {
    return bank->Read(stream, offset, count);
}
int32_t BankWriteTo(TBank* bank, TStream* stream, int32_t offset, int32_t count) {
    return bank->Write(stream, offset, count);
}

int32_t BankCopy(TBank* source, int32_t sourceOffset, TBank* destination, int32_t destinationOffset, int32_t count) {
    checkRange(source->Size(), sourceOffset, count);
    checkRange(destination->Size(), destinationOffset, count);
    if (count > 0) ovMemMove(destination->Buf() + destinationOffset, source->Buf() + sourceOffset, count);
    return 0;
}

void ovBankModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovCoreModuleInit();
        ovStreamModuleInit();
        ovObjectRegisterType(&TBankType);
    });
}
