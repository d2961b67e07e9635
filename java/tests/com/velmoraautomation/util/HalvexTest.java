// Tests of the Halvex native library in a real JVM: every value type read and
// written, the failures with their exact messages, and the "ZEPMutex" mutex
// seen from several processes, one of them killed.
//
// Usage: HalvexTest values|mutex|mutexfail (the test modes) or
// hold|holdtwice|probe (child processes of the mutex test). The registry
// store and the runtime directory come from KORVANE_REGISTRY and
// XDG_RUNTIME_DIR; the system property halvex.fixture names the tool that
// writes and reads raw values. Exits 0 only when at least one check ran and
// none failed; the last line reads "N passed, M failed".
package com.velmoraautomation.util;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;

public final class HalvexTest {
    private static final int HKCU = Halvex.HKEY_CURRENT_USER;
    private static final String KEY = "Software\\Velmora Automation\\HalvexTest";
    /** The largest value the store keeps, in bytes. */
    private static final int MAX_VALUE_SIZE = 1 << 20;
    /** The longest value name the store accepts. */
    private static final int MAX_VALUE_NAME = 16383;

    private static final String OPEN_FAILED = "Open key failed";
    private static final String QUERY_FAILED = "Query value key failed";
    private static final String UNSUPPORTED = "Unsupported value type";

    private static int passed;
    private static int failed;

    private HalvexTest() {}

    // ---- checks -------------------------------------------------------------

    private static synchronized void check(boolean ok, String what) {
        if (ok) {
            passed++;
        } else {
            failed++;
            System.out.println("FAIL: " + what);
        }
    }

    private static void checkEquals(Object expected, Object actual, String what) {
        boolean same;
        if (expected instanceof byte[] && actual instanceof byte[]) {
            same = Arrays.equals((byte[]) expected, (byte[]) actual);
        } else {
            same = expected == null ? actual == null
                                    : actual != null && expected.getClass() == actual.getClass()
                                              && expected.equals(actual);
        }
        check(same, what + ": expected " + show(expected) + ", got " + show(actual));
    }

    private static String show(Object value) {
        if (value == null) {
            return "null";
        }
        if (value instanceof byte[]) {
            return "byte[" + ((byte[]) value).length + "] " + hex((byte[]) value, 32);
        }
        if (value instanceof String) {
            String s = (String) value;
            StringBuilder out = new StringBuilder("String \"");
            for (int i = 0; i < s.length() && i < 64; i++) {
                char c = s.charAt(i);
                if (c < 0x20 || c > 0x7e) {
                    out.append(String.format("\\u%04x", (int) c));
                } else {
                    out.append(c);
                }
            }
            return out.append(s.length() > 64 ? "...\" (" + s.length() + " chars)" : "\"").toString();
        }
        return value.getClass().getSimpleName() + " " + value;
    }

    private interface Action {
        void run() throws Exception;
    }

    /** Checks that `action` throws exactly a HalvexException with `message`. */
    private static void expectThrow(String message, String what, Action action) {
        try {
            action.run();
            check(false, what + ": no exception, expected \"" + message + "\"");
        } catch (HalvexException e) {
            check(e.getClass() == HalvexException.class && message.equals(e.getMessage()),
                  what + ": expected \"" + message + "\", got \"" + e.getMessage() + "\"");
        } catch (Throwable t) {
            check(false, what + ": unexpected " + t);
        }
    }

    /** Runs `action`, which must not throw. */
    private static void expectOk(String what, Action action) {
        try {
            action.run();
            check(true, what);
        } catch (Throwable t) {
            check(false, what + ": unexpected " + t);
        }
    }

    private static Object getOrNull(Halvex key, String name, String what) {
        try {
            return key.getValue(name);
        } catch (Throwable t) {
            check(false, what + ": unexpected " + t);
            return null;
        }
    }

    // ---- raw values through the fixture tool --------------------------------

    private static String hex(byte[] bytes, int limit) {
        StringBuilder out = new StringBuilder();
        for (int i = 0; i < bytes.length && i < limit; i++) {
            out.append(String.format("%02x", bytes[i] & 0xff));
        }
        return out.toString();
    }

    /** Runs the fixture tool; returns its first output line, or null (a failed check). */
    private static String fixture(String... args) {
        List<String> command = new ArrayList<>();
        command.add(System.getProperty("halvex.fixture"));
        command.addAll(Arrays.asList(args));
        try {
            Process p = new ProcessBuilder(command).redirectError(ProcessBuilder.Redirect.INHERIT).start();
            String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8).trim();
            if (!p.waitFor(60, TimeUnit.SECONDS) || p.exitValue() != 0) {
                check(false, "fixture " + String.join(" ", args) + " failed");
                return null;
            }
            return out;
        } catch (IOException | InterruptedException e) {
            check(false, "fixture " + String.join(" ", args) + ": " + e);
            return null;
        }
    }

    private static String root(int root) {
        return Integer.toString(root);
    }

    private static void rawSet(String name, int type, String hex) {
        fixture("set", root(HKCU), KEY, name, Integer.toString(type), hex);
    }

    private static String rawGet(int root, String path, String name) {
        return fixture("get", root(root), path, name);
    }

    private static String rawGet(String name) {
        return rawGet(HKCU, KEY, name);
    }

    private static byte[] bytes(int... values) {
        byte[] out = new byte[values.length];
        for (int i = 0; i < values.length; i++) {
            out[i] = (byte) values[i];
        }
        return out;
    }

    // ---- values -------------------------------------------------------------

    private static final class ReadCase {
        final String name;
        final int type;
        final String hex;
        final Object expected; // a value, or a String message prefixed with "!" for a failure

        ReadCase(String name, int type, String hex, Object expected) {
            this.name = name;
            this.type = type;
            this.hex = hex;
            this.expected = expected;
        }
    }

    private static void readCases(Halvex key) {
        ReadCase[] cases = {
            // REG_SZ: decoded up to the first zero byte as modified UTF-8.
            new ReadCase("sz_empty", 1, "", ""),
            new ReadCase("sz_only_terminator", 1, "00", ""),
            new ReadCase("sz_plain", 1, "68656c6c6f00", "hello"),
            new ReadCase("sz_no_terminator", 1, "616263", "abc"),
            new ReadCase("sz_stops_at_first_zero", 1, "6162006364000000", "ab"),
            new ReadCase("sz_modified_utf8_nul", 1, "61c0806200", "a\u0000b"),
            new ReadCase("sz_two_byte", 1, "c3a400", "\u00e4"),
            new ReadCase("sz_three_byte", 1, "e282ac00", "\u20ac"),
            new ReadCase("sz_surrogate_pair_modified", 1, "eda0bdedb88000", "\ud83d\ude00"),
            new ReadCase("sz_four_byte_standard", 1, "f09f988000", "\ud83d\ude00"),
            new ReadCase("sz_windows1252_byte", 1, "e46200", "\ufffdb"),
            new ReadCase("sz_truncated_sequence", 1, "61e282", "a\ufffd"),
            new ReadCase("sz_stray_continuation", 1, "80", "\ufffd"),
            new ReadCase("sz_overlong_slash", 1, "c0af00", "\ufffd\ufffd"),
            // REG_DWORD: exactly 4 little-endian bytes.
            new ReadCase("dword_zero", 4, "00000000", Integer.valueOf(0)),
            new ReadCase("dword_value", 4, "78563412", Integer.valueOf(0x12345678)),
            new ReadCase("dword_minus_one", 4, "ffffffff", Integer.valueOf(-1)),
            new ReadCase("dword_min", 4, "00000080", Integer.valueOf(Integer.MIN_VALUE)),
            new ReadCase("dword_max", 4, "ffffff7f", Integer.valueOf(Integer.MAX_VALUE)),
            new ReadCase("dword_empty", 4, "", "!" + UNSUPPORTED),
            new ReadCase("dword_three_bytes", 4, "010203", "!" + UNSUPPORTED),
            new ReadCase("dword_five_bytes", 4, "0102030405", "!" + UNSUPPORTED),
            // REG_BINARY: all bytes.
            new ReadCase("bin_empty", 3, "", new byte[0]),
            new ReadCase("bin_zero", 3, "00", bytes(0)),
            new ReadCase("bin_mixed", 3, "ff00807f01", bytes(0xff, 0, 0x80, 0x7f, 1)),
            // Types without a Java form.
            new ReadCase("none", 0, "01", "!" + UNSUPPORTED),
            new ReadCase("expand_sz", 2, "2554454d502500", "!" + UNSUPPORTED),
            new ReadCase("dword_big_endian", 5, "12345678", "!" + UNSUPPORTED),
            new ReadCase("link", 6, "6100", "!" + UNSUPPORTED),
            new ReadCase("multi_sz", 7, "610062000000", "!" + UNSUPPORTED),
            new ReadCase("qword", 11, "0102030405060708", "!" + UNSUPPORTED),
            new ReadCase("odd_type", 0x1234, "00", "!" + UNSUPPORTED),
        };
        for (ReadCase c : cases) {
            rawSet(c.name, c.type, c.hex);
        }
        for (ReadCase c : cases) {
            String what = "read " + c.name;
            if (c.expected instanceof String && ((String) c.expected).startsWith("!")) {
                expectThrow(((String) c.expected).substring(1), what, () -> key.getValue(c.name));
            } else {
                checkEquals(c.expected, getOrNull(key, c.name, what), what);
            }
        }
    }

    private static final class WriteCase {
        final String name;
        final Object value;
        final String stored; // "<type> <hex>" as the fixture prints it

        WriteCase(String name, Object value, String stored) {
            this.name = name;
            this.value = value;
            this.stored = stored;
        }
    }

    private static void writeCases(Halvex key) {
        byte[] all = new byte[256];
        StringBuilder allHex = new StringBuilder();
        for (int i = 0; i < 256; i++) {
            all[i] = (byte) i;
            allHex.append(String.format("%02x", i));
        }
        WriteCase[] cases = {
            new WriteCase("w_sz_empty", "", "1 00"),
            new WriteCase("w_sz_plain", "hello", "1 68656c6c6f00"),
            new WriteCase("w_sz_umlaut", "\u00e4", "1 c3a400"),
            new WriteCase("w_sz_euro", "\u20ac", "1 e282ac00"),
            new WriteCase("w_sz_embedded_nul", "a\u0000b", "1 61c0806200"),
            new WriteCase("w_sz_supplementary", "\ud83d\ude00", "1 eda0bdedb88000"),
            new WriteCase("w_sz_lone_surrogate", "\ud800", "1 eda08000"),
            new WriteCase("w_dword_zero", Integer.valueOf(0), "4 00000000"),
            new WriteCase("w_dword_value", Integer.valueOf(0x12345678), "4 78563412"),
            new WriteCase("w_dword_minus_one", Integer.valueOf(-1), "4 ffffffff"),
            new WriteCase("w_dword_min", Integer.valueOf(Integer.MIN_VALUE), "4 00000080"),
            new WriteCase("w_dword_max", Integer.valueOf(Integer.MAX_VALUE), "4 ffffff7f"),
            new WriteCase("w_bin_empty", new byte[0], "3 -"),
            new WriteCase("w_bin_zero", bytes(0), "3 00"),
            new WriteCase("w_bin_all", all, "3 " + allHex),
        };
        for (WriteCase c : cases) {
            String what = "write " + c.name;
            expectOk(what, () -> key.setValue(c.name, c.value));
            checkEquals(c.stored, rawGet(c.name), what + " stored bytes");
            checkEquals(c.value, getOrNull(key, c.name, what + " read back"), what + " read back");
        }

        // Replacing a value changes its type too.
        expectOk("replace setup", () -> key.setValue("w_replace", "text"));
        expectOk("replace", () -> key.setValue("w_replace", Integer.valueOf(7)));
        checkEquals("4 07000000", rawGet("w_replace"), "replace String by Integer");
    }

    private static void unsupportedWrites(Halvex key) {
        Object[] values = {
            null, Long.valueOf(5), Short.valueOf((short) 5), Byte.valueOf((byte) 5),
            Double.valueOf(1.5), Boolean.TRUE, Character.valueOf('x'), new int[] {1},
            new char[] {'x'}, new Object(), new StringBuilder("text"), new String[] {"x"},
        };
        for (Object value : values) {
            String name = "u_" + (value == null ? "null" : value.getClass().getSimpleName());
            expectThrow(UNSUPPORTED, "write " + name, () -> key.setValue(name, value));
            checkEquals("missing", rawGet(name), "write " + name + " wrote nothing");
        }
        // An existing value stays as it was.
        rawSet("u_keep", 1, "6b00");
        expectThrow(UNSUPPORTED, "overwrite with Long", () -> key.setValue("u_keep", Long.valueOf(1)));
        checkEquals("1 6b00", rawGet("u_keep"), "Long left the old value");
    }

    private static void sizeLimits(Halvex key) {
        // Binary: the largest value the store keeps, and one byte more.
        byte[] max = new byte[MAX_VALUE_SIZE];
        for (int i = 0; i < max.length; i++) {
            max[i] = (byte) (i * 31 + 7);
        }
        expectOk("binary of the maximum size", () -> key.setValue("big_bin", max));
        checkEquals(max, getOrNull(key, "big_bin", "binary maximum read back"), "binary maximum read back");
        rawSet("big_keep", 3, "0102");
        expectThrow(QUERY_FAILED, "binary one past the maximum",
                    () -> key.setValue("big_keep", new byte[MAX_VALUE_SIZE + 1]));
        checkEquals("3 0102", rawGet("big_keep"), "failed binary write left the old value");

        // Strings: the UTF-8 bytes and the terminator count.
        char[] chars = new char[MAX_VALUE_SIZE - 1];
        Arrays.fill(chars, 'a');
        String maxText = new String(chars);
        expectOk("string of the maximum size", () -> key.setValue("big_sz", maxText));
        checkEquals(maxText, getOrNull(key, "big_sz", "string maximum read back"), "string maximum read back");
        String tooLong = maxText + "a";
        expectThrow(QUERY_FAILED, "string one past the maximum", () -> key.setValue("big_keep", tooLong));
        chars[0] = '\u00e4'; // same length in chars, one byte more as UTF-8
        String tooManyBytes = new String(chars);
        expectThrow(QUERY_FAILED, "string one byte past the maximum",
                    () -> key.setValue("big_keep", tooManyBytes));
        checkEquals("3 0102", rawGet("big_keep"), "failed string writes left the old value");

        // Value names: the longest accepted one, and one past (a failed write).
        char[] nameChars = new char[MAX_VALUE_NAME];
        Arrays.fill(nameChars, 'n');
        String longest = new String(nameChars);
        expectOk("longest value name", () -> key.setValue(longest, Integer.valueOf(9)));
        checkEquals(Integer.valueOf(9), getOrNull(key, longest, "longest name read back"), "longest name read back");
        String pastLongest = longest + "n";
        expectThrow(QUERY_FAILED, "failed write: name one past the longest",
                    () -> key.setValue(pastLongest, Integer.valueOf(1)));
        expectThrow(QUERY_FAILED, "read: name one past the longest", () -> key.getValue(pastLongest));
    }

    private static void keysAndRoots() throws Exception {
        Halvex missingKey = new Halvex(HKCU, KEY + "\\Missing");
        expectThrow(OPEN_FAILED, "read from a missing key", () -> missingKey.getValue("x"));
        expectThrow(OPEN_FAILED, "write to a missing key", () -> missingKey.setValue("x", "y"));
        checkEquals("nokey", rawGet(HKCU, KEY + "\\Missing", "x"), "write did not create the key");
        // The order of the steps: the key is opened before the value is classified.
        expectThrow(OPEN_FAILED, "Long to a missing key", () -> missingKey.setValue("x", Long.valueOf(1)));

        Halvex key = new Halvex(HKCU, KEY);
        expectThrow(QUERY_FAILED, "read a missing value", () -> key.getValue("no such value"));

        Halvex nullPath = new Halvex(HKCU, null);
        expectThrow(OPEN_FAILED, "read with a null path", () -> nullPath.getValue("x"));
        expectThrow(OPEN_FAILED, "write with a null path", () -> nullPath.setValue("x", "y"));

        int[] badRoots = {0, 1, 0x12345678, 0x80000004, 0x7fffffff, -1};
        for (int bad : badRoots) {
            Halvex k = new Halvex(bad, KEY);
            String what = String.format("root 0x%08x", bad);
            expectThrow(OPEN_FAILED, "read under " + what, () -> k.getValue("sz_plain"));
            expectThrow(OPEN_FAILED, "write under " + what, () -> k.setValue("x", "y"));
        }

        // Every predefined root is a separate tree.
        int[] roots = {Halvex.HKEY_CLASSES_ROOT, Halvex.HKEY_CURRENT_USER, Halvex.HKEY_LOCAL_MACHINE,
                       Halvex.HKEY_USERS};
        String rootsPath = "Software\\HalvexRoots";
        for (int r : roots) {
            fixture("mkkey", root(r), rootsPath);
        }
        for (int i = 0; i < roots.length; i++) {
            Halvex k = new Halvex(roots[i], rootsPath);
            Integer mark = Integer.valueOf(100 + i);
            String what = String.format("root 0x%08x", roots[i]);
            expectOk(what + " write", () -> k.setValue("mark", mark));
            checkEquals("4 " + String.format("%02x000000", 100 + i), rawGet(roots[i], rootsPath, "mark"),
                        what + " stored");
        }
        for (int i = 0; i < roots.length; i++) {
            Halvex k = new Halvex(roots[i], rootsPath);
            checkEquals(Integer.valueOf(100 + i), getOrNull(k, "mark", "root mark"),
                        String.format("root 0x%08x read", roots[i]));
        }

        // Key names compare without regard to case.
        Halvex upper = new Halvex(HKCU, KEY.toUpperCase());
        checkEquals("hello", getOrNull(upper, "sz_plain", "upper-case path"), "upper-case path");

        // An empty path names the root itself.
        Halvex rootItself = new Halvex(HKCU, "");
        expectOk("write at the root itself", () -> rootItself.setValue("at_root", "r"));
        checkEquals("1 7200", rawGet(HKCU, "", "at_root"), "value at the root itself");

        // A null value name is the key's default value, as is "".
        expectOk("write the default value", () -> key.setValue(null, "dflt"));
        checkEquals("1 64666c7400", rawGet(""), "default value stored");
        checkEquals("dflt", getOrNull(key, null, "default by null"), "read default value by null");
        checkEquals("dflt", getOrNull(key, "", "default by empty"), "read default value by empty name");
    }

    private static void threads(Halvex key) throws InterruptedException {
        final int threadCount = 8;
        final int rounds = 200;
        AtomicInteger wrong = new AtomicInteger();
        Thread[] workers = new Thread[threadCount];
        for (int t = 0; t < threadCount; t++) {
            final int id = t;
            workers[t] = new Thread(() -> {
                String name = "thread_" + id;
                for (int i = 0; i < rounds; i++) {
                    try {
                        Object value = (i % 3 == 0) ? (Object) ("v" + id + "_" + i)
                                     : (i % 3 == 1) ? (Object) Integer.valueOf(id * 1000 + i)
                                                    : (Object) bytes(id, i & 0xff);
                        key.setValue(name, value);
                        Object back = key.getValue(name);
                        boolean same = value instanceof byte[] ? back instanceof byte[]
                                && Arrays.equals((byte[]) value, (byte[]) back) : value.equals(back);
                        if (!same) {
                            wrong.incrementAndGet();
                        }
                        try {
                            key.getValue("missing_" + id);
                            wrong.incrementAndGet();
                        } catch (HalvexException e) {
                            if (!QUERY_FAILED.equals(e.getMessage())) {
                                wrong.incrementAndGet();
                            }
                        }
                    } catch (Throwable e) {
                        wrong.incrementAndGet();
                    }
                }
            });
            workers[t].start();
        }
        for (Thread w : workers) {
            w.join();
        }
        checkEquals(Integer.valueOf(0), Integer.valueOf(wrong.get()), "calls from " + threadCount + " threads");
    }

    private static void values() throws Exception {
        fixture("mkkey", root(HKCU), KEY);
        Halvex key = new Halvex(HKCU, KEY);
        checkEquals(Integer.valueOf(HKCU), Integer.valueOf(key.getRoot()), "getRoot");
        checkEquals(KEY, key.getPath(), "getPath");
        readCases(key);
        writeCases(key);
        unsupportedWrites(key);
        sizeLimits(key);
        keysAndRoots();
        threads(key);
        // Many calls in a row, successful and failing, leave nothing behind.
        int bad = 0;
        for (int i = 0; i < 20000; i++) {
            try {
                if (!"hello".equals(key.getValue("sz_plain"))) {
                    bad++;
                }
                key.getValue("multi_sz");
                bad++;
            } catch (HalvexException e) {
                if (!UNSUPPORTED.equals(e.getMessage())) {
                    bad++;
                }
            }
        }
        checkEquals(Integer.valueOf(0), Integer.valueOf(bad), "20000 repeated reads");
    }

    // ---- mutex --------------------------------------------------------------

    private static Process startChild(String mode) throws IOException {
        String java = Paths.get(System.getProperty("java.home"), "bin", "java").toString();
        ProcessBuilder pb = new ProcessBuilder(java, "-Xcheck:jni",
                "-Djava.library.path=" + System.getProperty("java.library.path"),
                "-cp", System.getProperty("java.class.path"), HalvexTest.class.getName(), mode);
        pb.redirectError(ProcessBuilder.Redirect.INHERIT);
        Process p = pb.start();
        children.add(p);
        return p;
    }

    private static String firstLine(Process p) throws Exception {
        BufferedReader reader = new BufferedReader(new InputStreamReader(p.getInputStream(), StandardCharsets.UTF_8));
        return CompletableFuture.supplyAsync(() -> {
            try {
                return reader.readLine();
            } catch (IOException e) {
                return null;
            }
        }).get(120, TimeUnit.SECONDS);
    }

    /** Runs a child that creates the mutex once and exits; returns what it printed. */
    private static String probe() throws Exception {
        Process p = startChild("probe");
        String line = firstLine(p);
        check(p.waitFor(120, TimeUnit.SECONDS) && p.exitValue() == 0, "probe exited normally");
        return line;
    }

    private static void kill(Process p, String what) throws Exception {
        p.destroyForcibly(); // SIGKILL
        check(p.waitFor(120, TimeUnit.SECONDS), what + " ended");
        checkEquals(Integer.valueOf(128 + 9), Integer.valueOf(p.exitValue()), what + " died of SIGKILL");
    }

    private static final List<Process> children = new ArrayList<>();

    private static void mutex() throws Exception {
        try {
            mutexSteps();
        } finally {
            for (Process p : children) {
                p.destroyForcibly();
            }
        }
    }

    private static void mutexSteps() throws Exception {
        Process first = startChild("hold");
        checkEquals("true", firstLine(first), "first process creates the mutex");
        checkEquals("false", probe(), "second process while the first lives");
        checkEquals("false", probe(), "third process while the first lives");
        kill(first, "first process");
        checkEquals("true", probe(), "after the first process was killed");

        // The probe above held the name and exited normally: it is free again.
        Process second = startChild("holdtwice");
        checkEquals("true false", firstLine(second), "two calls in one process");
        checkEquals("false", probe(), "the second call's handle kept nothing from the first");

        checkEquals(Boolean.FALSE, Boolean.valueOf(Halvex.createMutex()), "this process, name held elsewhere");
        checkEquals(Boolean.FALSE, Boolean.valueOf(Halvex.createMutex()), "this process, again");
        kill(second, "holding process");
        // This process keeps its own handle for its whole life.
        checkEquals("false", probe(), "name kept by this process after the holder died");
    }

    private static void mutexFail() throws Exception {
        // A directory where the mutex's lock file belongs makes creation fail.
        Path runtime = Paths.get(System.getenv("XDG_RUNTIME_DIR"));
        Files.createDirectories(runtime.resolve("mutex-ZEPMutex"));
        expectThrow("Create mutex failed", "mutex that cannot be created", () -> Halvex.createMutex());
        expectThrow("Create mutex failed", "mutex that cannot be created, again", () -> Halvex.createMutex());
    }

    /**
     * Child: creates the mutex (once or twice), reports, then waits to be
     * killed. It also ends when its standard input closes, so that it never
     * outlives a parent that failed.
     */
    private static void hold(int calls) throws Exception {
        StringBuilder line = new StringBuilder();
        for (int i = 0; i < calls; i++) {
            line.append(i == 0 ? "" : " ").append(Halvex.createMutex());
        }
        System.out.println(line);
        System.out.flush();
        while (System.in.read() >= 0) {
            // wait for the end of the input
        }
    }

    public static void main(String[] args) throws Exception {
        String mode = args.length == 1 ? args[0] : "";
        switch (mode) {
        case "hold":
            hold(1);
            return;
        case "holdtwice":
            hold(2);
            return;
        case "probe":
            System.out.println(Halvex.createMutex());
            return;
        case "values":
            values();
            break;
        case "mutex":
            mutex();
            break;
        case "mutexfail":
            mutexFail();
            break;
        default:
            System.out.println("usage: HalvexTest values|mutex|mutexfail");
            System.exit(2);
        }
        System.out.println(passed + " passed, " + failed + " failed");
        System.exit(failed == 0 && passed > 0 ? 0 : 1);
    }
}
