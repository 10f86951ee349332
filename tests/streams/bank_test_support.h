// Helpers for the tests of text streams, banks and memory streams: banks and
// bank streams over given bytes, and the bytes they hold.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "streams/bank.h"
#include "streams/bankstream.h"
#include "streams/ramstream.h"
#include "streams/textstream.h"
#include "tests/streams/stream_test_support.h"

// The bank stream, RAM stream and text stream modules in the order start-up
// runs them, so that their factories sit in the chain as they do in a run.
inline void ovTestMemoryStreamsInit() {
    ovBankStreamModuleInit();
    ovRamStreamModuleInit();
    ovTextStreamModuleInit();
}

// The fixture of the tests over memory: the test streams and the memory
// stream modules ready.
class MemoryStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ovTestStreamsInit();
        ovTestMemoryStreamsInit();
    }
};

inline TBank* ovTestBank(const std::string& bytes) {
    TBank* bank = BankNew(static_cast<int32_t>(bytes.size()));
    if (!bytes.empty()) std::memcpy(bank->Buf(), bytes.data(), bytes.size());
    return bank;
}

inline std::string ovTestBankBytes(TBank* bank) {
    return std::string(reinterpret_cast<const char*>(bank->Buf()), static_cast<size_t>(bank->Size()));
}

inline TBankStream* ovTestBankStream(const std::string& bytes) { return TBankStreamCreate(ovTestBank(bytes)); }

// A text stream over a bank stream holding the bytes.
inline TTextStream* ovTestTextOver(const std::string& bytes, int32_t encoding) {
    return TTextStreamCreate(ovTestBankStream(bytes), encoding);
}

// Every byte of the bank under a text stream made by ovTestTextOver.
inline std::string ovTestWritten(TTextStream* text) {
    return ovTestBankBytes(static_cast<TBankStream*>(text->_stream.get())->_bank);
}
