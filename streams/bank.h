// Banks: managed, resizable blocks of raw bytes with typed peek and poke
// access (little-endian, unaligned) and whole-block load and save through
// streams.
//
// An owned bank allocates its bytes from the raw allocator and frees them
// when it is destroyed; a static bank (capacity -1) lies over memory that
// belongs to the caller and becomes owned the first time it has to grow.
// Every access is checked against the bank's size: an offset or count that
// leaves the bytes in use raises a runtime error instead of touching memory
// outside them.
#pragma once

#include <cstdint>

#include "runtime/object.h"

struct TStream;
struct TBank;

struct TBankClass : ObjectClass {
    int32_t (*_pad)(TBank* self);
    uint8_t* (*Buf)(TBank* self);
    uint8_t* (*Lock)(TBank* self);
    int32_t (*Unlock)(TBank* self);
    int32_t (*Size)(TBank* self);
    int32_t (*Capacity)(TBank* self);
    int32_t (*Resize)(TBank* self, int32_t size);
    int32_t (*Read)(TBank* self, TStream* stream, int32_t offset, int32_t count);
    int32_t (*Write)(TBank* self, TStream* stream, int32_t offset, int32_t count);
    int32_t (*PeekByte)(TBank* self, int32_t offset);
    int32_t (*PokeByte)(TBank* self, int32_t offset, int32_t value);
    int32_t (*PeekShort)(TBank* self, int32_t offset);
    int32_t (*PokeShort)(TBank* self, int32_t offset, int32_t value);
    int32_t (*PeekInt)(TBank* self, int32_t offset);
    int32_t (*PokeInt)(TBank* self, int32_t offset, int32_t value);
    int64_t (*PeekLong)(TBank* self, int32_t offset);
    int32_t (*PokeLong)(TBank* self, int32_t offset, int64_t value);
    float (*PeekFloat)(TBank* self, int32_t offset);
    int32_t (*PokeFloat)(TBank* self, int32_t offset, float value);
    double (*PeekDouble)(TBank* self, int32_t offset);
    int32_t (*PokeDouble)(TBank* self, int32_t offset, double value);
    int32_t (*Save)(TBank* self, Object* url);
    // Class functions.
    TBank* (*Load)(Object* url);
    TBank* (*Create)(int32_t size);
    TBank* (*CreateStatic)(uint8_t* address, int32_t size);
};

extern const TBankClass TBankType;

struct TBank : Object {
    static constexpr int32_t STATIC_CAPACITY = -1;  // the bytes belong to the caller

    uint8_t* _buf;
    int32_t _size;      // bytes in use
    int32_t _capacity;  // bytes allocated, or STATIC_CAPACITY
    int32_t _locked;    // counted only

    uint8_t* Buf() { return record<TBankClass>()->Buf(this); }
    uint8_t* Lock() { return record<TBankClass>()->Lock(this); }
    int32_t Unlock() { return record<TBankClass>()->Unlock(this); }
    int32_t Size() { return record<TBankClass>()->Size(this); }
    int32_t Capacity() { return record<TBankClass>()->Capacity(this); }
    // Sets the size; growing beyond the capacity reallocates to at least 3/2
    // of it, keeping the bytes.  The capacity never shrinks.
    int32_t Resize(int32_t size) { return record<TBankClass>()->Resize(this, size); }
    // One Read / Write call of the stream on the bank's bytes at offset;
    // returns the stream's result.
    int32_t Read(TStream* stream, int32_t offset, int32_t count) {
        return record<TBankClass>()->Read(this, stream, offset, count);
    }
    int32_t Write(TStream* stream, int32_t offset, int32_t count) {
        return record<TBankClass>()->Write(this, stream, offset, count);
    }
    int32_t PeekByte(int32_t offset) { return record<TBankClass>()->PeekByte(this, offset); }
    int32_t PokeByte(int32_t offset, int32_t value) { return record<TBankClass>()->PokeByte(this, offset, value); }
    int32_t PeekShort(int32_t offset) { return record<TBankClass>()->PeekShort(this, offset); }
    int32_t PokeShort(int32_t offset, int32_t value) { return record<TBankClass>()->PokeShort(this, offset, value); }
    int32_t PeekInt(int32_t offset) { return record<TBankClass>()->PeekInt(this, offset); }
    int32_t PokeInt(int32_t offset, int32_t value) { return record<TBankClass>()->PokeInt(this, offset, value); }
    int64_t PeekLong(int32_t offset) { return record<TBankClass>()->PeekLong(this, offset); }
    int32_t PokeLong(int32_t offset, int64_t value) { return record<TBankClass>()->PokeLong(this, offset, value); }
    float PeekFloat(int32_t offset) { return record<TBankClass>()->PeekFloat(this, offset); }
    int32_t PokeFloat(int32_t offset, float value) { return record<TBankClass>()->PokeFloat(this, offset, value); }
    double PeekDouble(int32_t offset) { return record<TBankClass>()->PeekDouble(this, offset); }
    int32_t PokeDouble(int32_t offset, double value) { return record<TBankClass>()->PokeDouble(this, offset, value); }
    // Writes the bytes in use to the url: 1, or 0 when it cannot be opened.
    int32_t Save(Object* url) { return record<TBankClass>()->Save(this, url); }
};

// The class functions: an owned bank of size bytes (not cleared); a static
// bank over the caller's memory; a bank holding every byte the url gives (the
// Null object when it cannot be opened).  A negative size raises a runtime
// error.
TBank* TBankCreate(int32_t size);
TBank* TBankCreateStatic(uint8_t* address, int32_t size);
TBank* TBankLoad(Object* url);

// ---------------------------------------------------------------------------
// Module functions: the bank first, forwarding to the method of the same role
// ---------------------------------------------------------------------------

TBank* BankNew(int32_t size);
TBank* BankOverMemory(uint8_t* address, int32_t size);
TBank* BankLoad(Object* url);
int32_t BankSave(TBank* bank, Object* url);
uint8_t* BankBytes(TBank* bank);
uint8_t* BankLock(TBank* bank);
int32_t BankUnlock(TBank* bank);
int32_t BankLength(TBank* bank);
int32_t BankRoom(TBank* bank);
int32_t BankResize(TBank* bank, int32_t size);
int32_t BankPeekByte(TBank* bank, int32_t offset);
int32_t BankPokeByte(TBank* bank, int32_t offset, int32_t value);
int32_t BankPeekShort(TBank* bank, int32_t offset);
int32_t BankPokeShort(TBank* bank, int32_t offset, int32_t value);
int32_t BankPeekInt(TBank* bank, int32_t offset);
int32_t BankPokeInt(TBank* bank, int32_t offset, int32_t value);
int64_t BankPeekLong(TBank* bank, int32_t offset);
int32_t BankPokeLong(TBank* bank, int32_t offset, int64_t value);
float BankPeekFloat(TBank* bank, int32_t offset);
int32_t BankPokeFloat(TBank* bank, int32_t offset, float value);
double BankPeekDouble(TBank* bank, int32_t offset);
int32_t BankPokeDouble(TBank* bank, int32_t offset, double value);
int32_t BankReadFrom(TBank* bank, TStream* stream, int32_t offset, int32_t count);
int32_t BankWriteTo(TBank* bank, TStream* stream, int32_t offset, int32_t count);
// Copies count bytes between banks (or within one) as a memory move, so
// overlapping ranges keep the source bytes.  Returns 0.
int32_t BankCopy(TBank* source, int32_t sourceOffset, TBank* destination, int32_t destinationOffset,
                 int32_t count);

// The bank module's initialiser: runs the core and stream modules'
// initialisers and registers TBank, once.
void ovBankModuleInit();
