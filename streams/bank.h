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

// TBank's operations, in slot order (see "Lists of operations" in
// runtime/object.h).  Resize sets the size; growing beyond the capacity
// reallocates to at least 3/2 of it, keeping the bytes, and the capacity
// never shrinks.  Read and Write make one Read / Write call of the stream on
// the bank's bytes at offset and return the stream's result.  Save writes
// the bytes in use to the url: 1, or 0 when it cannot be opened.
#define OV_BANK_OPERATIONS(X)                                                                            \
    X(TBank, int32_t, _pad, (), (), "()i")                                                               \
    X(TBank, uint8_t*, Buf, (), (), "()*b")                                                              \
    X(TBank, uint8_t*, Lock, (), (), "()*b")                                                             \
    X(TBank, int32_t, Unlock, (), (), "()i")                                                             \
    X(TBank, int32_t, Size, (), (), "()i")                                                               \
    X(TBank, int32_t, Capacity, (), (), "()i")                                                           \
    X(TBank, int32_t, Resize, (int32_t size), (size), "(i)i")                                            \
    X(TBank, int32_t, Read, (TStream * stream, int32_t offset, int32_t count), (stream, offset, count),  \
      "(:TStream,i,i)i")                                                                                 \
    X(TBank, int32_t, Write, (TStream * stream, int32_t offset, int32_t count), (stream, offset, count), \
      "(:TStream,i,i)i")                                                                                 \
    X(TBank, int32_t, PeekByte, (int32_t offset), (offset), "(i)i")                                      \
    X(TBank, int32_t, PokeByte, (int32_t offset, int32_t value), (offset, value), "(i,i)i")              \
    X(TBank, int32_t, PeekShort, (int32_t offset), (offset), "(i)i")                                     \
    X(TBank, int32_t, PokeShort, (int32_t offset, int32_t value), (offset, value), "(i,i)i")             \
    X(TBank, int32_t, PeekInt, (int32_t offset), (offset), "(i)i")                                       \
    X(TBank, int32_t, PokeInt, (int32_t offset, int32_t value), (offset, value), "(i,i)i")               \
    X(TBank, int64_t, PeekLong, (int32_t offset), (offset), "(i)l")                                      \
    X(TBank, int32_t, PokeLong, (int32_t offset, int64_t value), (offset, value), "(i,l)i")              \
    X(TBank, float, PeekFloat, (int32_t offset), (offset), "(i)f")                                       \
    X(TBank, int32_t, PokeFloat, (int32_t offset, float value), (offset, value), "(i,f)i")               \
    X(TBank, double, PeekDouble, (int32_t offset), (offset), "(i)d")                                     \
    X(TBank, int32_t, PokeDouble, (int32_t offset, double value), (offset, value), "(i,d)i")             \
    X(TBank, int32_t, Save, (Object * url), (url), "(:Object)i")

// The class functions: a bank holding every byte the url gives (the Null
// object when it cannot be opened); an owned bank of size bytes (not
// cleared); a static bank over the caller's memory.  A negative size raises
// a runtime error.
#define OV_BANK_FUNCTIONS(X)                                         \
    X(TBank, TBank*, Load, (Object * url), (url), "(:Object):TBank") \
    X(TBank, TBank*, Create, (int32_t size), (size), "(i):TBank")    \
    X(TBank, TBank*, CreateStatic, (uint8_t * address, int32_t size), (address, size), "(*b,i):TBank")

struct TBankClass : ObjectClass {
    OV_BANK_OPERATIONS(OV_SLOT)
    OV_BANK_FUNCTIONS(OV_FUNCTION_SLOT)
};

extern const TBankClass TBankType;

struct TBank : Object {
    static constexpr int32_t STATIC_CAPACITY = -1;  // the bytes belong to the caller

    uint8_t* _buf;
    int32_t _size;      // bytes in use
    int32_t _capacity;  // bytes allocated, or STATIC_CAPACITY
    int32_t _locked;    // counted only

    OV_BANK_OPERATIONS(OV_DISPATCH)
};

OV_BANK_FUNCTIONS(OV_DECLARE_OWN_FUNCTION)

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
int32_t BankCopy(TBank* source, int32_t sourceOffset, TBank* destination, int32_t destinationOffset, int32_t count);

// The bank module's initialiser: runs the core and stream modules'
// initialisers and registers TBank, once.
void ovBankModuleInit();
