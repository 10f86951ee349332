// Bank streams and their factory.
#include "streams/bankstream.h"

#include <climits>
#include <cstdint>

#include "runtime/memory.h"
#include "runtime/reflection.h"
#include "streams/memspan_internal.h"
#include "streams/stream_scope_internal.h"

namespace {

TBankStream* asBankStream(TIO* io) { return static_cast<TBankStream*>(io); }

// The bank's bytes as they are now: growing the bank may move them.
ovMemSpan spanOf(TBankStream* self) { return {self->_bank->Buf(), self->_bank->Size(), self->_pos}; }

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

constexpr ovScopeEntry bankStreamEntries[] = {
    OV_FIELD_ENTRY(TBankStream, _pos, "i"),
    OV_FIELD_ENTRY(TBankStream, _bank, ":TBank"),
    ovObjectEntry::New,
    ovObjectEntry::Delete,
    ovStreamEntry::Pos,
    ovStreamEntry::Size,
    ovStreamEntry::Seek,
    ovStreamEntry::Read,
    ovStreamEntry::Write,
    OV_FUNCTION_ENTRY(TBankStreamClass, Create, "(:TBank):TBankStream"),
    ovScopeEndEntry,
};

}  // namespace

constexpr ovScope TBankStreamScope = {OV_SCOPE_CLASS, "TBankStream", bankStreamEntries};
constexpr ovScope TBankStreamFactoryScope = {OV_SCOPE_CLASS, "TBankStreamFactory", ovFactoryOverrideEntries};

int32_t TBankStreamPos(TIO* io) { return asBankStream(io)->_pos; }
int32_t TBankStreamSize(TIO* io) { return asBankStream(io)->_bank->Size(); }
int32_t TBankStreamSeek(TIO* io, int32_t pos) { return spanOf(asBankStream(io)).seek(pos); }
int32_t TBankStreamRead(TIO* io, uint8_t* buffer, int32_t count) { return spanOf(asBankStream(io)).read(buffer, count); }

// A write starting within the bank or at its end overwrites and grows the
// bank as far as it needs (a bank holds at most INT32_MAX bytes); one
// starting past the end (the bank has shrunk since) writes nothing.
int32_t TBankStreamWrite(TIO* io, const uint8_t* buffer, int32_t count) {
    TBankStream* self = asBankStream(io);
    TBank* bank = self->_bank;
    if (self->_pos > bank->Size()) return 0;
    const int32_t n = ovBytesWithin(self->_pos, INT32_MAX, count);
    if (self->_pos + n > bank->Size()) buffer = growBank(bank, self->_pos + n, buffer);
    return spanOf(self).write(buffer, n);
}

int32_t TBankStreamNew(Object* self) {
    auto* stream = ovChainNew<TBankStream, TBankStreamType>(self);
    stream->_pos = 0;
    stream->_bank.init(ovNullOf<TBank>());
    return 0;
}

int32_t TBankStreamDelete(Object* self) {
    static_cast<TBankStream*>(self)->_bank.release();
    return ovChainDelete<TBankStreamType>(self);
}

TStream* TBankStreamFactoryCreateStream(TStreamFactory*, Object* target, String*, String*, int32_t, int32_t) {
    Object* bank = ovObjectDowncast(target, &TBankType);
    if (bank == ovNull) return ovNullOf<TStream>();
    return BankStreamOpen(static_cast<TBank*>(bank));
}


TBankStream* TBankStreamCreate(TBank* bank) {
    auto* stream = ovNew<TBankStream>(&TBankStreamType);
    stream->_bank.set(bank);
    return stream;
}

TBankStream* BankStreamOpen(TBank* bank) {
    if (bank == ovNullOf<TBank>()) bank = BankNew(0);
    return TBankStreamType.Create(bank);
}

void ovBankStreamModuleInit() {
    static bool started = false;
    ovModuleInitOnce(started, [] {
        ovBankModuleInit();
        ovObjectRegisterType(&TBankStreamType);
        ovInstallFactory(TBankStreamFactoryType);
    });
}
