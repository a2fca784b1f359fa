package org.grabkit.features;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.util.List;
import java.util.Map;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** Formulas as description files write them, evaluated with integer and with float semantics. */
class FormulaTest {
  private static final Formula.Variables NONE = name -> null;
  private static final double TOLERANCE = 1e-12;

  private static long integer(String text) {
    return Formula.parse(text).evaluateInteger(NONE);
  }

  private static double real(String text) {
    return Formula.parse(text).evaluateFloat(NONE);
  }

  /** Relative, since values span from 1e-3 to 1e19; NaN and infinities must match exactly. */
  private static void assertClose(double expected, double actual) {
    double delta = Double.isFinite(expected) ? Math.abs(expected) * TOLERANCE : 0;
    assertEquals(expected, actual, delta);
  }

  /** Integer and float results side by side: integers wrap and truncate, floats do not. */
  @ParameterizedTest(name = "{0} = {1} as integer, {2} as float")
  @CsvSource(
      delimiterString = " => ",
      value = {
          // precedence and associativity as in C
          "2+3*4 => 14 => 14",
          "10-4-3 => 3 => 3",
          "7%4*2 => 6 => 6",
          "2**3**2 => 512 => 512",
          "-2**2 => 4 => 4",
          "2*3**2 => 18 => 18",
          "+-+3 => -3 => -3",
          "-~1 => 2 => 2",
          "!0+1 => 2 => 2",
          "1+2<<3 => 24 => 24",
          "1<<3+1 => 16 => 16",
          "1<2=1 => 1 => 1",
          "2>1<>1 => 0 => 0",
          "3^1&2 => 3 => 3",
          "6|1^7 => 6 => 6",
          "1|6&3 => 3 => 3",
          "2=2&&3 => 1 => 1",
          "1||0&&0 => 1 => 1",
          "0?2:3?4:5 => 4 => 4",
          "1?0?6:7:8 => 7 => 7",
          "0||0?1+1:2*3 => 6 => 6",
          "'  2 +\t3\n*4 ' => 14 => 14",
          // literals
          "0XfF => 255 => 255",
          "0xFFFFFFFFFFFFFFFF => -1 => -1",
          "0x8000000000000000 => -9223372036854775808 => -9.223372036854775808e18",
          "-9223372036854775808 => -9223372036854775808 => -9.223372036854775808e18",
          "18446744073709551615 => -1 => 1.8446744073709552e19",
          "1.5e-3 => 0 => 0.0015",
          "1.5E+2 => 150 => 150",
          "1. => 1 => 1",
          ".5+.5 => 0 => 1",
          // arithmetic: integers wrap and truncate, floats do not
          "7/2 => 3 => 3.5",
          "-7/2 => -3 => -3.5",
          "-7%2 => -1 => -1",
          "7.5%2 => 1 => 1",
          "9223372036854775807+1 => -9223372036854775808 => 9.223372036854775808e18",
          "3*0x5555555555555556 => 2 => 1.8446744073709552e19",
          "-9223372036854775808/-1 => -9223372036854775808 => 9.223372036854775808e18",
          "2**63 => -9223372036854775808 => 9.223372036854775808e18",
          "2**64 => 0 => 1.8446744073709552e19",
          "2**-1 => 0 => 0.5",
          "1**-5 => 1 => 1",
          "-1**-3 => -1 => -1",
          "-1**-4 => 1 => 1",
          "2**0.5 => 1 => 1.4142135623730951",
          // bits: floats truncate their operands
          "~0.5 => -1 => -1",
          "5.9&3.9 => 1 => 1",
          "1.9|4 => 5 => 5",
          "-16>>2 => -4 => -4",
          "-1>>63 => -1 => -1",
          "1<<65 => 2 => 2",
          "1<<-1 => -9223372036854775808 => -9.223372036854775808e18",
          "1<<3.9 => 8 => 8",
          // comparisons and logic give 1 or 0
          "3!=3 => 0 => 0",
          "3==3 => 1 => 1",
          "3=3.5 => 1 => 0",
          "3>=3 => 1 => 1",
          "3<=2 => 0 => 0",
          "0.5<0.6 => 0 => 1",
          "0.1+0.2=0.3 => 1 => 0",
          "0.5&&1 => 0 => 1",
          "!5 => 0 => 0",
          "!0.5 => 1 => 0",
          "0.5?1:2 => 2 => 1",
          // the side not taken is not evaluated
          "0&&1/0 => 0 => 0",
          "1||1%0 => 1 => 1",
          "0?1%0:7 => 7 => 7",
          // fractions survive sign changes and ternaries in integer formulas
          "-2.5 => -2 => -2.5",
          "2.5*2 => 4 => 5",
          "2.9+0.2 => 2 => 3.1",
          "ROUND(-2.5) => -3 => -3",
          "ROUND(0?1:2.5) => 3 => 3",
          // functions and constants
          "SGN(0) => 0 => 0",
          "SGN(-0.5) => -1 => -1",
          "NEG(2.5) => -2 => -2.5",
          "ABS(-2.5)*2 => 4 => 5",
          "ABS(-9223372036854775808) => -9223372036854775808 => 9.223372036854775808e18",
          "SQRT(17) => 4 => 4.123105625617661",
          "SQRT(-1) => 0 => NaN",
          "TRUNC(-2.7) => -2 => -2",
          "FLOOR(-PI) => -4 => -4",
          "CEIL(E) => 3 => 3",
          "CEIL(7/2) => 3 => 4",
          "ROUND(2.5) => 3 => 3",
          "ROUND(0.49999999999999994) => 0 => 0",
          "ROUND(SQRT(10)*10) => 30 => 32",
          "ROUND(9007199254740993) => 9007199254740993 => 9007199254740992",
          "ROUND(3.14159, 2) => 3 => 3.14",
          "ROUND(-1.25, 1) => -1 => -1.3",
          "ROUND(1250, -2) => 1300 => 1300",
          "ROUND(-1250, -2) => -1300 => -1300",
          "ROUND(9007199254740993, -1) => 9007199254740990 => 9007199254740990",
          "SIN(PI/2) => 0 => 1",
          "COS(PI) => -1 => -1",
          "TAN(1) => 1 => 1.5574077246549023",
          "ASIN(1) => 1 => 1.5707963267948966",
          "ACOS(-1) => 3 => 3.141592653589793",
          "ATAN(1) => 0 => 0.7853981633974483",
          "EXP(3) => 20 => 20.085536923187668",
          "LN(100) => 4 => 4.605170185988092",
          "LG(1000) => 3 => 3",
          "LN(0) => -9223372036854775808 => -Infinity",
          "E => 2 => 2.718281828459045",
          "PI => 3 => 3.141592653589793",
      })
  void evaluate(String text, long integer, double real) {
    assertEquals(integer, integer(text));
    assertClose(real, real(text));
  }

  @Nested
  class Variables {
    private final Map<String, Number> values =
        Map.of(
            "W", 640L,
            "H", 480L,
            "Width.Min", 16L,
            "SENSOR.Max", 4096L,
            "_x1", 3L,
            "Gain", 2.5,
            "K", -0.5,
            "E", 10L,
            "w", 1L);
    private final Formula.Variables variables = values::get;

    @ParameterizedTest(name = "{0} = {1} as integer, {2} as float")
    @CsvSource(
        delimiterString = " => ",
        value = {
          "(W+7)/8*8 => 640 => 647",
          "Width.Min+SENSOR.Max => 4112 => 4112",
          "_x1**2 => 9 => 9",
          "W-w => 639 => 639",
          "Gain => 2 => 2.5",
          "SQRT(Gain*Gain) => 2 => 2.5",
          "K<0 => 0 => 1",
          "E+PI => 13 => 13.141592653589793",
        })
    void readTheirValues(String text, long integer, double real) {
      Formula formula = Formula.parse(text);
      assertEquals(integer, formula.evaluateInteger(variables));
      assertClose(real, formula.evaluateFloat(variables));
    }

    @ParameterizedTest(name = "{0}: {1}")
    @CsvSource(
        delimiterString = " => ",
        value = {
          "names, in first-use order => W*H+W => W H",
          "dotted names => Width.Min + SENSOR.Max*Width.Min => Width.Min SENSOR.Max",
          "not constants => E*PI+2 => ''",
          "not functions => SQRT(x)+ABS(y) => x y",
          "all branches => b ? a : c => b a c",
          "function names without ( => SQRT + 1 => SQRT",
          "case-sensitive => _a1.b_2 + e + pi + A + a => _a1.b_2 e pi A a",
        })
    void areListed(String what, String text, String expected) {
      List<String> wanted = expected.isEmpty() ? List.of() : List.of(expected.split(" "));
      assertEquals(wanted, List.copyOf(Formula.parse(text).names()), what);
    }
  }

  @Nested
  class Errors {
    private final Formula.Variables variables = name -> name.equals("W") ? 640L : null;

    @ParameterizedTest(name = "{0} as {1}: {3}")
    @CsvSource(
        delimiterString = " => ",
        value = {
          "1/0 => integer => ArithmeticException => division by zero in \"1/0\"",
          "5%0 => integer => ArithmeticException => division by zero in \"5%0\"",
          "5%0.5 => float => ArithmeticException => division by zero in \"5%0.5\"",
          "Width+1 => integer => IllegalArgumentException => unknown name Width in \"Width+1\"",
          "W*w => float => IllegalArgumentException => unknown name w in \"W*w\"",
        })
    void inEvaluationNameTheFormula(String text, String mode, String type, String message) {
      Formula formula = Formula.parse(text);
      RuntimeException e = assertThrows(RuntimeException.class, () -> {
        Object unused = mode.equals("integer")
            ? (Object) formula.evaluateInteger(variables) : formula.evaluateFloat(variables);
      });
      assertEquals(type, e.getClass().getSimpleName());
      assertEquals(message, e.getMessage());
    }

    @ParameterizedTest(name = "[{index}] {0}")
    @CsvSource(
        delimiterString = " => ",
        quoteCharacter = '`',
        value = {
          "`` => empty formula at column 1",
          "`   ` => empty formula at column 1",
          "(1+2 => expected ) at column 5",
          "SQRT(2 => expected ) at column 7",
          "1+2) => unbalanced ) at column 4",
          "() => expected a value before ) at column 2",
          "1+ => expected a value at column 3",
          "`2 *  ` => expected a value at column 6",
          "1+*2 => expected a value before * at column 3",
          "1?2 => expected : at column 4",
          "2 3 => expected an operator before 3 at column 3",
          "1.5.5 => expected an operator before .5 at column 4",
          "FOO(1) => unknown function FOO at column 1",
          "2*sqrt(4 => unknown function sqrt at column 3",
          "SQRT(1,2) => SQRT takes one argument at column 7",
          "ROUND(1,2,3) => expected ) before , at column 10",
          "1 $ 2 => unexpected character '$' at column 3",
          "0x => hexadecimal number without digits at column 1",
          "1+0x1FFFFFFFFFFFFFFFF => number wider than 64 bits at column 3",
          "18446744073709551616 => number wider than 64 bits at column 1",
          "1e+ => exponent without digits at column 1",
        })
    void inParsingGiveTheColumn(String text, String message) {
      IllegalArgumentException e =
          assertThrows(IllegalArgumentException.class, () -> Formula.parse(text));
      assertEquals(message + " of \"" + text + "\"", e.getMessage());
    }
  }
}
