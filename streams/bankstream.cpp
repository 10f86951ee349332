// Bank streams and their factory.
#include "streams/bankstream.h"

#include <climits>
#include <cstdint>

#include "runtime/memory.h"
#include "streams/memspan_internal.h"
#include "streams/class_support.h"

namespace {

TBankStreamClass bankStreamRecord{};
TStreamFactoryClass bankStreamFactoryRecord{};

TBankStream* asBankStream(TIO* io) { return static_cast<TBankStream*>(io); }

// The bank's bytes as they are now: growing the bank may move them.
ovMemSpan spanOf(TBankStream* self) { return {self->_bank->Buf(), self->_bank->Size(), self->_pos}; }

int32_t bankStreamPos(TIO* io) { return asBankStream(io)->_pos; }
int32_t bankStreamSize(TIO* io) { return asBankStream(io)->_bank->Size(); }
int32_t bankStreamSeek(TIO* io, int32_t pos) { return spanOf(asBankStream(io)).seek(pos); }
int32_t bankStreamRead(TIO* io, uint8_t* buffer, int32_t count) { return spanOf(asBankStream(io)).read(buffer, count); }

// Grows the bank to size.  Growing may move the bank's bytes, so a source
// that lies inside them (a bank written to its own stream) is followed to
// their new place.
const uint8_t* growBank(TBank* bank, int32_t size, const uint8_t* source) {
    const auto old = reinterpret_cast<uintptr_t>(bank->Buf());
    const auto from = reinterpret_cast<uintptr_t>(source);
    const bool inside = from >= old && from < old + static_cast<uint32_t>(bank->Size());
    bank->Resize(size);
    return inside ? bank->Buf() + (from - old) : source;
}

// A write starting within the bank or at its end overwrites and grows the
// bank as far as it needs (a bank holds at most INT32_MAX bytes); one
// starting past the end (the bank has shrunk since) writes nothing.
int32_t bankStreamWrite(TIO* io, const uint8_t* buffer, int32_t count) {
    TBankStream* self = asBankStream(io);
    TBank* bank = self->_bank;
    if (self->_pos > bank->Size()) return 0;
    const int32_t n = ovBytesWithin(self->_pos, INT32_MAX, count);
    if (self->_pos + n > bank->Size()) buffer = growBank(bank, self->_pos + n, buffer);
    return spanOf(self).write(buffer, n);
}

int32_t bankStreamNew(Object* self) {
    auto* stream = ovChainNew<TBankStream, bankStreamRecord>(self);
    stream->_pos = 0;
    ovInitRef(stream->_bank, ovNullBank());
    return 0;
}

int32_t bankStreamDelete(Object* self) {
    ovReleaseRef(static_cast<TBankStream*>(self)->_bank);
    return ovChainDelete<bankStreamRecord>(self);
}

TStream* bankFactoryCreateStream(TStreamFactory*, Object* target, String*, String*, int32_t, int32_t) {
    Object* bank = ovObjectDowncast(target, &TBankType);
    if (bank == ovNull) return ovNullStream();
    return BankStreamOpen(static_cast<TBank*>(bank));
}

#define OV_BANK_STREAM_METHOD(slot, type) OV_METHOD_ENTRY(TBankStreamClass, slot, type)

const ovScopeEntry bankStreamEntries[] = {
    OV_FIELD_ENTRY(TBankStream, _pos, "i"),
    OV_FIELD_ENTRY(TBankStream, _bank, ":TBank"),
    OV_BANK_STREAM_METHOD(New, "()i"),
    OV_BANK_STREAM_METHOD(Delete, "()i"),
    OV_BANK_STREAM_METHOD(Pos, "()i"),
    OV_BANK_STREAM_METHOD(Size, "()i"),
    OV_BANK_STREAM_METHOD(Seek, "(i)i"),
    OV_BANK_STREAM_METHOD(Read, "(*b,i)i"),
    OV_BANK_STREAM_METHOD(Write, "(*b,i)i"),
    OV_FUNCTION_ENTRY(TBankStreamClass, Create, "(:TBank):TBankStream"),
    ovScopeEndEntry,
};

#undef OV_BANK_STREAM_METHOD

constexpr ovScope bankStreamScope = {OV_SCOPE_CLASS, "TBankStream", bankStreamEntries};
constexpr ovScope bankStreamFactoryScope = {OV_SCOPE_CLASS, "TBankStreamFactory", ovFactoryOverrideEntries};

void fillRecords() {
    bankStreamRecord = ovMakeClass<TBankStreamClass, TBankStream>(TStreamType, &bankStreamScope, [](auto& r) {
        r.New = bankStreamNew;
        r.Delete = bankStreamDelete;
        r.Pos = bankStreamPos;
        r.Size = bankStreamSize;
        r.Seek = bankStreamSeek;
        r.Read = bankStreamRead;
        r.Write = bankStreamWrite;
        r.Create = TBankStreamCreate;
    });
    ovFillFactoryClass<bankStreamFactoryRecord>(&bankStreamFactoryScope, bankFactoryCreateStream);
}

}  // namespace

const TBankStreamClass& TBankStreamType = bankStreamRecord;
const TStreamFactoryClass& TBankStreamFactoryType = bankStreamFactoryRecord;

TBankStream* TBankStreamCreate(TBank* bank) {
    auto* stream = ovNew<TBankStream>(&bankStreamRecord);
    ovStore(stream->_bank, bank);
    return stream;
}

TBankStream* BankStreamOpen(TBank* bank) {
    if (bank == ovNullBank()) bank = BankNew(0);
    return bankStreamRecord.Create(bank);
}

void ovBankStreamModuleInit() {
    static bool initialised = false;
    if (initialised) return;
    initialised = true;
    ovBankModuleInit();
    fillRecords();
    ovObjectRegisterType(&bankStreamRecord);
    ovInstallFactory(bankStreamFactoryRecord);
}
