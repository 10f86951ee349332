// The try stack, throwing and catching, the hook table and the core
// module's exception classes.
#include <gtest/gtest.h>

#include <algorithm>

#include <string>

#include "runtime/exception.h"
#include "runtime/memory.h"
#include "runtime/string.h"
#include "tests/support/capture_test_support.h"

namespace {

std::string textOf(Object* o) { return ovStringToCString(o->ToString()); }

size_t framesIn(const ovTryStack* stack) {
    return static_cast<size_t>(stack->end - stack->begin) / OV_TRY_FRAME_SIZE;
}

TEST(TryStack, ExistsOnlyWhileATryBlockIsActive) {
    EXPECT_EQ(ovTryCurrent(), nullptr);
    OV_TRY {
        ASSERT_NE(ovTryCurrent(), nullptr);
        EXPECT_EQ(framesIn(ovTryCurrent()), 10u);
    }
    OV_CATCH(e) { ADD_FAILURE() << textOf(e); }
    OV_END_TRY
    EXPECT_EQ(ovTryCurrent(), nullptr);
}

TEST(TryStack, InnerClauseThatDoesNotMatchPassesTheSameObjectOn) {
    Object* thrown = ovObjectNew(&TOutOfDataExceptionType);
    Object* reached = ovNull;
    bool innerRan = false;
    OV_TRY {
        OV_TRY {
            ovThrow(thrown);
        }
        OV_CATCH(e) {
            if (!ovIsInstance(e, &TArrayBoundsExceptionType)) ovThrow(e);
            innerRan = true;
        }
        OV_END_TRY
    }
    OV_CATCH(e) { reached = e; }
    OV_END_TRY
    EXPECT_FALSE(innerRan);
    EXPECT_EQ(reached, thrown);
    EXPECT_EQ(ovTryCurrent(), nullptr);
}

// Opens a try block per level; the innermost throws.  Returns the depth at
// which the exception was caught.
int nestAndThrow(int depth, int throwAt, int catchAt, size_t* framesAtBottom) {
    int caughtAt = -1;
    OV_TRY {
        if (depth == throwAt) {
            *framesAtBottom = framesIn(ovTryCurrent());
            RaiseOutOfData();
        }
        caughtAt = nestAndThrow(depth + 1, throwAt, catchAt, framesAtBottom);
    }
    OV_CATCH(e) {
        if (depth != catchAt) ovThrow(e);
        caughtAt = depth;
    }
    OV_END_TRY
    return caughtAt;
}

TEST(TryStack, GrowsByTenFramesAndOlderFramesStillCatch) {
    size_t frames = 0;
    EXPECT_EQ(nestAndThrow(1, 11, 1, &frames), 1);
    EXPECT_EQ(frames, 20u);
    EXPECT_EQ(ovTryCurrent(), nullptr);
    EXPECT_EQ(nestAndThrow(1, 25, 24, &frames), 24);
    EXPECT_EQ(frames, 30u);
    EXPECT_EQ(ovTryCurrent(), nullptr);
}

int returnFromInsideATryBlock() {
    OV_TRY {
        return 7;
    }
    OV_CATCH(e) { ovKeepAlive(e); }
    OV_END_TRY
    return 0;
}

TEST(TryStack, AReturnFromTheBodyPopsExactlyOnce) {
    OV_TRY {
        const size_t depthBefore = static_cast<size_t>(ovTryCurrent()->top - ovTryCurrent()->begin);
        EXPECT_EQ(returnFromInsideATryBlock(), 7);
        EXPECT_EQ(static_cast<size_t>(ovTryCurrent()->top - ovTryCurrent()->begin), depthBefore);
    }
    OV_CATCH(e) { ADD_FAILURE() << textOf(e); }
    OV_END_TRY
    EXPECT_EQ(ovTryCurrent(), nullptr);
}

TEST(TryStack, AForeignCppExceptionPopsTheFrame) {
    try {
        OV_TRY {
            throw 42;
        }
        OV_CATCH(e) { ADD_FAILURE() << textOf(e); }
        OV_END_TRY
    } catch (int) {
    }
    EXPECT_EQ(ovTryCurrent(), nullptr);
}

TEST(TryStack, TheThrownObjectSurvivesACollectionInTheHandler) {
    std::string text;
    OV_TRY {
        RaiseRuntimeError(ovStringFromCString("still here"));
    }
    OV_CATCH(e) {
        ovGCCollect();
        text = textOf(e);
    }
    OV_END_TRY
    EXPECT_EQ(text, "still here");
}

// ---------------------------------------------------------------------------
// Classes
// ---------------------------------------------------------------------------

TEST(ExceptionClasses, TextsOfTheRuntimeExceptions) {
    EXPECT_EQ(textOf(ovObjectNew(&TNullObjectExceptionType)), "Attempt to access field or method of Null object");
    EXPECT_EQ(textOf(ovObjectNew(&TNullMethodExceptionType)), "Attempt to call abstract method");
    EXPECT_EQ(textOf(ovObjectNew(&TNullFunctionExceptionType)), "Attempt to call uninitialized function pointer");
    EXPECT_EQ(textOf(ovObjectNew(&TArrayBoundsExceptionType)),
              "Attempt to index array element beyond array length");
    EXPECT_EQ(textOf(ovObjectNew(&TOutOfDataExceptionType)), "Attempt to read beyond end of data");
    Object* root = ovObjectNew(&TOrvaneExceptionType);
    EXPECT_EQ(textOf(root).size(), 16u) << "the root class prints its address";
}

TEST(ExceptionClasses, RuntimeExceptionCarriesItsMessage) {
    std::string text;
    OV_TRY {
        ovThrow(TRuntimeExceptionType.Create(ovStringFromCString("abc")));
    }
    OV_CATCH(e) {
        if (!ovIsInstance(e, &TOrvaneExceptionType)) ovThrow(e);
        text = textOf(e);
    }
    OV_END_TRY
    EXPECT_EQ(text, "abc");
    auto* fresh = ovNew<TRuntimeException>(&TRuntimeExceptionType);
    EXPECT_EQ(fresh->error, &ovEmptyString);
}

TEST(ExceptionClasses, ARuntimeErrorStringPassesOrvaneClauses) {
    std::string outer;
    OV_TRY {
        OV_TRY {
            ovRuntimeError("C Assert failed");
        }
        OV_CATCH(e) {
            if (!ovIsInstance(e, &TOrvaneExceptionType)) ovThrow(e);
            ADD_FAILURE() << "a String is no TOrvaneException";
        }
        OV_END_TRY
    }
    OV_CATCH(e) {
        if (!ovIsInstance(e, &StringType)) ovThrow(e);
        outer = textOf(e);
    }
    OV_END_TRY
    EXPECT_EQ(outer, "C Assert failed");
}

// However often the initialiser runs, each class is registered exactly once.
TEST(ExceptionClasses, RegisteredOnceEach) {
    ovCoreModuleInit();
    ovCoreModuleInit();
    int32_t count = 0;
    const ObjectClass* const* types = ovObjectRegisteredTypes(&count);
    for (const ObjectClass* cls : {&TOrvaneExceptionType, &TNullObjectExceptionType, &TNullMethodExceptionType,
                                   &TNullFunctionExceptionType, &TArrayBoundsExceptionType, &TOutOfDataExceptionType,
                                   static_cast<const ObjectClass*>(&TRuntimeExceptionType)})
        EXPECT_EQ(std::count(types, types + count, cls), 1) << cls->scope->name;
}

// ---------------------------------------------------------------------------
// Hooks
// ---------------------------------------------------------------------------

struct Unhandled {
    Object* object;
};
[[noreturn]] void throwUnhandled(Object* o) { throw Unhandled{o}; }

TEST(Hooks, AThrowWithoutATryBlockGoesToEntryZero) {
    Object* thrown = ovObjectNew(&TArrayBoundsExceptionType);
    Object* seen = ovNull;
    {
        ovTestHookGuard hook(ovHooks.unhandledException, throwUnhandled);
        try {
            ovThrow(thrown);
        } catch (const Unhandled& u) {
            seen = u.object;
        }
    }
    EXPECT_EQ(seen, thrown);
}

TEST(Hooks, AnUncaughtExceptionPrintsItsTextAndEndsWith255) {
    EXPECT_EXIT(RaiseArrayBounds(), testing::ExitedWithCode(255),
                "^Attempt to index array element beyond array length$");
}

int32_t logged = 0;
void recordLog(intptr_t word) { logged = static_cast<int32_t>(word); }

TEST(Hooks, LogAndStopHooks) {
    {
        ovTestHookGuard hook(ovHooks.log, recordLog);
        EXPECT_EQ(InvokeLogHook(99), 0);
    }
    EXPECT_EQ(logged, 99);
    EXPECT_EQ(InvokeStopHook(), 0);
}

}  // namespace
