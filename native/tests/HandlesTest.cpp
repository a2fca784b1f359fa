#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "jni/Handles.h"
#include "producer/Errors.h"

namespace Grabkit::Jni {
namespace {

void* pointer(intptr_t value) {
  return reinterpret_cast<void*>(value);
}

TEST(Handles, ValuesThatFitCrossUnchangedBothWays) {
  HandleTable table;
  for (intptr_t value : {intptr_t{0}, intptr_t{1}, intptr_t{0x1000}, intptr_t{INT32_MAX},
                         intptr_t{-1}, intptr_t{kFirstToken} + kTokenRange}) {
    int32_t java = table.toJava(pointer(value));
    EXPECT_EQ(java, value);
    EXPECT_EQ(table.fromJava(java), pointer(value));
  }
}

TEST(Handles, WideValuesAndValuesInTheTokenRangeAreExchangedForStableTokens) {
  HandleTable table;
  const intptr_t wide[] = {0x7f12345678a0, intptr_t{INT32_MAX} + 1, intptr_t{kFirstToken},
                           intptr_t{kFirstToken} + 5, -0x7f12345678a0};
  std::vector<int32_t> tokens;
  for (intptr_t value : wide) {
    int32_t token = table.toJava(pointer(value));
    EXPECT_TRUE(isToken(token)) << value;
    EXPECT_EQ(table.fromJava(token), pointer(value));
    EXPECT_EQ(table.toJava(pointer(value)), token);  // the same value keeps its token
    tokens.push_back(token);
  }
  for (size_t i = 1; i < tokens.size(); ++i) EXPECT_NE(tokens[i], tokens[i - 1]);
}

TEST(Handles, ATokenThatWasNeverIssuedIsRefused) {
  HandleTable table;
  int32_t issued = table.toJava(pointer(0x7f0000000010));
  for (int32_t forged : {issued + 1, kFirstToken + int32_t{kTokenRange} - 1}) {
    try {
      table.fromJava(forged);
      FAIL() << forged;
    } catch (const InvalidHandleException& e) {
      EXPECT_EQ(std::string(e.what()),
                "Handle " + std::to_string(forged) + " was never handed out to Java (ID: -1006)");
    }
  }
}

TEST(Handles, AFullTableRefusesNewValuesButServesKnownOnes) {
  HandleTable table(2);
  int32_t a = table.toJava(pointer(0x7f0000000010));
  table.toJava(pointer(0x7f0000000020));
  EXPECT_THROW(table.toJava(pointer(0x7f0000000030)), ResourceExhaustedException);
  EXPECT_EQ(table.toJava(pointer(0x7f0000000010)), a);
  EXPECT_EQ(table.toJava(pointer(0x20)), 0x20);  // narrow values need no token
}

// A long-running process opens and closes without end: retired tokens come
// back, oldest first, and a retired token names nothing until reissued.
TEST(Handles, RetiredTokensAreRefusedAndReusedOldestFirst) {
  HandleTable table(3);
  int loadA = 0;
  int loadB = 0;
  int32_t a1 = table.toJava(pointer(0x7f0000000010), &loadA);
  int32_t a2 = table.toJava(pointer(0x7f0000000020), &loadA);
  int32_t b1 = table.toJava(pointer(0x7f0000000010), &loadB);  // same value, other load
  EXPECT_NE(a1, b1);
  table.retire(&loadA, pointer(0x7f0000000010), table.tokenOf(&loadA, pointer(0x7f0000000010)));
  try {
    table.fromJava(a1);
    FAIL();
  } catch (const InvalidHandleException& e) {
    EXPECT_EQ(std::string(e.what()), "Handle " + std::to_string(a1) +
                                         " stands for a module or buffer that was closed or "
                                         "revoked (ID: -1006)");
  }
  EXPECT_EQ(table.fromJava(b1), pointer(0x7f0000000010));
  table.releaseAll(&loadA);
  EXPECT_EQ(table.size(), 1u);
  EXPECT_EQ(table.toJava(pointer(0x7f0000000030), &loadB), a1);  // the oldest retired
  EXPECT_EQ(table.toJava(pointer(0x7f0000000040), &loadB), a2);
  EXPECT_THROW(table.toJava(pointer(0x7f0000000050), &loadB), ResourceExhaustedException);
}

TEST(Handles, ThreadsAgreeOnTokens) {
  HandleTable table;
  constexpr int kThreads = 4;
  constexpr intptr_t kValues = 1000;
  std::vector<std::vector<int32_t>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (intptr_t i = 0; i < kValues; ++i) {
        seen[t].push_back(table.toJava(pointer(0x7f0000000000 + 16 * i)));
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t], seen[0]);
  for (intptr_t i = 0; i < kValues; ++i) {
    EXPECT_EQ(table.fromJava(seen[0][i]), pointer(0x7f0000000000 + 16 * i));
  }
}

// Lookups take no lock, so they must stay right while other threads issue
// tokens (growing the table past a chunk) and retire them.
TEST(Handles, LookupsStayRightWhileTokensComeAndGo) {
  HandleTable table;
  constexpr intptr_t kStable = 64;
  std::vector<int32_t> stable;
  for (intptr_t i = 0; i < kStable; ++i)
    stable.push_back(table.toJava(pointer(0x7e0000000000 + i)));
  std::atomic<bool> done{false};
  std::thread churn([&] {
    for (intptr_t i = 0; i < 20000; ++i) {
      void* h = pointer(0x7d0000000000 + 16 * i);
      int32_t token = table.toJava(h, &table);
      EXPECT_EQ(table.fromJava(token), h);
      if (i % 3 != 0) table.retire(&table, h, table.tokenOf(&table, h));
    }
    done = true;
  });
  std::vector<std::thread> readers;
  std::atomic<long> wrong{0};
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!done) {
        for (intptr_t i = 0; i < kStable; ++i) {
          if (table.fromJava(stable[i]) != pointer(0x7e0000000000 + i)) ++wrong;
        }
      }
    });
  }
  churn.join();
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(table.size(), kStable + 20000 / 3 + 1);
}

TEST(Handles, UserValuesAreJavasOwnNumbers) {
  EXPECT_EQ(fromJavaUser(-2), pointer(-2));
  EXPECT_EQ(toJavaUser(pointer(-2)), -2);
  EXPECT_EQ(toJavaUser(pointer(0x7f00000000ff)), 0xff);                  // only the low 32 bits
  EXPECT_EQ(fromJavaUser(kFirstToken), pointer(intptr_t{kFirstToken}));  // never a token
}

}  // namespace
}  // namespace Grabkit::Jni
