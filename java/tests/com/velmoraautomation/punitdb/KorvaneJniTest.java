// Tests of the KorvaneJni native library in a real JVM against the catalogue
// server program: registration, activation from no server running, the
// login, project, stamp, filter, block and layout calls, the calls without
// a connection, rejected Java arguments, calls from the wrong thread, a
// server that has gone, and the release of the connection on Logout and when
// the library is unloaded; and, in the mode "fake", against a stand-in
// document server (system property korvane.fake) that serves what the real
// server cannot: a rejected login, filled and malformed blocks, written
// layout cells, dispatcher rejections and a death during a call.
//
// Usage: KorvaneJniTest server|unload|fake. The install tree (a copy of the
// example plant with the server program in its bin directory) is named by
// the system property korvane.tree; the registry store and the runtime
// directory come from KORVANE_REGISTRY and XDG_RUNTIME_DIR, fresh for each
// run; the property korvane.jar names the jar of the class (for the mode
// that loads it in a class loader of its own). Exits 0 only when at least one check ran and none failed; the last
// line reads "N passed, M failed".
package com.velmoraautomation.punitdb;

import java.io.IOException;
import java.lang.ref.WeakReference;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.time.LocalDate;
import java.time.temporal.ChronoUnit;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;

public final class KorvaneJniTest {
    private static int passed;
    private static int failed;

    private static Path tree;
    private static Path program;
    private static String project;

    private KorvaneJniTest() {}

    // ---- checks -------------------------------------------------------------

    private static synchronized void check(boolean ok, String what) {
        if (ok) {
            passed++;
        } else {
            failed++;
            System.out.println("FAIL: " + what);
        }
    }

    private static String show(int status) {
        return KorvaneJni.isComFailure(status) ? String.format("0x%08X", status) : Integer.toString(status);
    }

    private static void checkStatus(int expected, int actual, String what) {
        check(expected == actual, what + ": expected " + show(expected) + ", got " + show(actual));
    }

    private static void checkEquals(Object expected, Object actual, String what) {
        boolean same = expected == null ? actual == null : expected.equals(actual);
        check(same, what + ": expected " + expected + ", got " + actual);
    }

    // ---- the server process -------------------------------------------------

    /**
     * The processes running the install tree's server program, found through /proc
     * (ProcessHandle.info() itself trips the JNI checker on this JDK).
     */
    private static List<ProcessHandle> servers() {
        List<ProcessHandle> found = new ArrayList<>();
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(Paths.get("/proc"), "[0-9]*")) {
            for (Path entry : entries) {
                try {
                    Path exe = Files.readSymbolicLink(entry.resolve("exe"));
                    if (exe.equals(program)) {
                        ProcessHandle.of(Long.parseLong(entry.getFileName().toString()))
                                .filter(ProcessHandle::isAlive).ifPresent(found::add);
                    }
                } catch (Exception e) {
                    // Another user's process, or one that has just ended.
                }
            }
        } catch (IOException e) {
            check(false, "listing /proc: " + e);
        }
        return found;
    }

    private interface Condition {
        boolean holds();
    }

    private static boolean waitFor(Condition condition, long ms) throws InterruptedException {
        long end = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(ms);
        while (System.nanoTime() < end) {
            if (condition.holds()) {
                return true;
            }
            Thread.sleep(50);
        }
        return condition.holds();
    }

    private static int register() throws Exception {
        Process p = new ProcessBuilder(program.toString(), "-RegServer")
                .redirectErrorStream(true).redirectOutput(ProcessBuilder.Redirect.DISCARD).start();
        if (!p.waitFor(60, TimeUnit.SECONDS)) {
            p.destroyForcibly();
            return -1;
        }
        return p.exitValue();
    }

    private static void killServers() throws InterruptedException {
        for (ProcessHandle p : servers()) {
            p.destroyForcibly();
        }
        check(waitFor(() -> servers().isEmpty(), 10000), "the server processes end when killed");
    }

    // ---- small helpers ------------------------------------------------------

    private static int[] cell(int value) {
        return new int[] {value};
    }

    private static short[] shortCell(int value) {
        return new short[] {(short) value};
    }

    /** The arguments and result arrays of one block call, filled with marks. */
    private static final class Block {
        final int[] iterator = cell(-7);
        final short[] numberRet = shortCell(-7);
        final String[] names;
        final String[] cmnts;
        final short[] types;
        final short[] sizes;
        final short[] addrs;
        final int[] indxs;
        final short[] attrs;
        final short[] compOffs;

        Block(int n) {
            names = new String[n];
            cmnts = new String[n];
            Arrays.fill(names, "mark");
            Arrays.fill(cmnts, "mark");
            types = marks(n);
            sizes = marks(n);
            addrs = marks(n);
            indxs = new int[n];
            Arrays.fill(indxs, -7);
            attrs = marks(n);
            compOffs = marks(n);
        }

        private static short[] marks(int n) {
            short[] a = new short[n];
            Arrays.fill(a, (short) -7);
            return a;
        }

        int call(int handle, int req) {
            return KorvaneJni.GetVarInfoBlock(handle, iterator, (short) req, numberRet, names, cmnts, types,
                                              sizes, addrs, indxs, attrs, compOffs);
        }

        int callEx(int handle, int req) {
            return KorvaneJni.GetVarInfoBlockEx(handle, iterator, (short) req, numberRet, names, cmnts, types,
                                                sizes, addrs, indxs, attrs, compOffs);
        }

        /** True when nothing was written. */
        boolean untouched() {
            boolean same = iterator[0] == -7 && numberRet[0] == -7;
            for (int i = 0; i < names.length; i++) {
                same &= "mark".equals(names[i]) && "mark".equals(cmnts[i]) && types[i] == -7 && sizes[i] == -7
                        && addrs[i] == -7 && indxs[i] == -7 && attrs[i] == -7 && compOffs[i] == -7;
            }
            return same;
        }
    }

    /** The nine cells of GetStateRamLayout, element 0 of cell i holding `base + i`. */
    private static int[][] layoutCells(int base) {
        int[][] cells = new int[9][];
        for (int i = 0; i < 9; i++) {
            cells[i] = cell(base + i);
        }
        return cells;
    }

    private static int layout(int handle, int[][] c) {
        return KorvaneJni.GetStateRamLayout(handle, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]);
    }

    private static boolean layoutHolds(int[][] c, int base) {
        for (int i = 0; i < 9; i++) {
            if (c[i].length != 1 || c[i][0] != base + i) {
                return false;
            }
        }
        return true;
    }

    // ---- the methods that need no server ------------------------------------

    /** Without a connection every method but Login, ExecRequ and GetVarInfoBlockEx reports NO_CONNECTION. */
    private static void withoutConnection(String when) {
        int nc = KorvaneJni.NO_CONNECTION;
        checkStatus(nc, KorvaneJni.ProjOpen(1, project), when + ": ProjOpen");
        int[] msec = cell(-1);
        short[] date = shortCell(-1);
        checkStatus(nc, KorvaneJni.GetProjStampCC(1, msec, date), when + ": GetProjStampCC");
        check(msec[0] == -1 && date[0] == -1, when + ": GetProjStampCC writes nothing");
        int[] iterator = cell(-1);
        checkStatus(nc, KorvaneJni.SetVarInfoFilter(1, "*", (short) 0, (short) 0, 0, iterator),
                    when + ": SetVarInfoFilter");
        check(iterator[0] == -1, when + ": SetVarInfoFilter writes nothing");
        Block block = new Block(4);
        checkStatus(nc, block.call(1, 4), when + ": GetVarInfoBlock");
        check(block.untouched(), when + ": GetVarInfoBlock writes nothing");
        int[][] cells = layoutCells(500);
        checkStatus(nc, layout(1, cells), when + ": GetStateRamLayout");
        check(layoutHolds(cells, 500), when + ": GetStateRamLayout writes nothing");
        checkStatus(nc, KorvaneJni.Logout(1, (short) 0), when + ": Logout");
        noCallMethods(when);
    }

    /** ExecRequ and GetVarInfoBlockEx never reach a server. */
    private static void noCallMethods(String when) {
        int[] rc = cell(77);
        checkStatus(0, KorvaneJni.ExecRequ(rc), when + ": ExecRequ result");
        checkEquals(1, rc[0], when + ": ExecRequ rc[0]");
        int[] longer = {5, 6, 7};
        checkStatus(0, KorvaneJni.ExecRequ(longer), when + ": ExecRequ on a longer array");
        check(longer[0] == 1 && longer[1] == 6 && longer[2] == 7, when + ": ExecRequ writes element 0 only");
        checkStatus(KorvaneJni.INVALID_ARGUMENT, KorvaneJni.ExecRequ(null), when + ": ExecRequ(null)");
        checkStatus(KorvaneJni.INVALID_ARGUMENT, KorvaneJni.ExecRequ(new int[0]), when + ": ExecRequ(int[0])");
        for (int req : new int[] {0, 1, 4, -5, 32767}) {
            Block block = new Block(4);
            checkStatus(-1, block.callEx(1, req), when + ": GetVarInfoBlockEx " + req);
            check(block.untouched(), when + ": GetVarInfoBlockEx " + req + " writes nothing");
        }
        checkStatus(-1, KorvaneJni.GetVarInfoBlockEx(0, null, (short) 0, null, null, null, null, null, null, null,
                                                     null, null),
                    when + ": GetVarInfoBlockEx with null arrays");
    }

    /** Java arguments that cannot take an answer are refused before any call. */
    private static void invalidArguments(int handle, String when) {
        int bad = KorvaneJni.INVALID_ARGUMENT;
        checkStatus(bad, KorvaneJni.GetProjStampCC(handle, null, shortCell(0)), when + ": stamp, null relMsec");
        short[] date = shortCell(-1);
        checkStatus(bad, KorvaneJni.GetProjStampCC(handle, new int[0], date), when + ": stamp, empty relMsec");
        check(date[0] == -1, when + ": stamp with a bad argument writes nothing");
        checkStatus(bad, KorvaneJni.GetProjStampCC(handle, cell(0), new short[0]), when + ": stamp, empty relDate");
        checkStatus(bad, KorvaneJni.SetVarInfoFilter(handle, "*", (short) 0, (short) 0, 0, null),
                    when + ": filter, null iterator");
        Block block = new Block(3);
        checkStatus(bad, KorvaneJni.GetVarInfoBlock(handle, block.iterator, (short) 3, block.numberRet, null,
                                                    block.cmnts, block.types, block.sizes, block.addrs,
                                                    block.indxs, block.attrs, block.compOffs),
                    when + ": block, null names");
        checkStatus(bad, KorvaneJni.GetVarInfoBlock(handle, block.iterator, (short) 3, block.numberRet,
                                                    block.names, block.cmnts, block.types, block.sizes,
                                                    block.addrs, null, block.attrs, block.compOffs),
                    when + ": block, null indexes");
        checkStatus(bad, KorvaneJni.GetVarInfoBlock(handle, new int[0], (short) 3, block.numberRet, block.names,
                                                    block.cmnts, block.types, block.sizes, block.addrs,
                                                    block.indxs, block.attrs, block.compOffs),
                    when + ": block, empty iterator");
        checkStatus(bad, KorvaneJni.GetVarInfoBlock(handle, block.iterator, (short) 3, null, block.names,
                                                    block.cmnts, block.types, block.sizes, block.addrs,
                                                    block.indxs, block.attrs, block.compOffs),
                    when + ": block, null count");
        check(block.untouched(), when + ": block with bad arguments writes nothing");
        for (int i = 0; i < 9; i++) {
            int[][] cells = layoutCells(40);
            int[] saved = cells[i];
            cells[i] = (i % 2 == 0) ? null : new int[0];
            checkStatus(bad, layout(handle, cells), when + ": layout, bad cell " + i);
            cells[i] = saved;
            check(layoutHolds(cells, 40), when + ": layout with bad cell " + i + " writes nothing");
        }
        int[] empty = new int[0];
        checkStatus(bad, KorvaneJni.Login(empty, "x"), when + ": Login(int[0])");
        checkStatus(bad, KorvaneJni.Login(null, "x"), when + ": Login(null)");
    }

    // ---- the mode "server" --------------------------------------------------

    private static final int STAMP_MSEC = 13 * 3600000 + 46 * 60000 + 40 * 1000;
    private static final int STAMP_DATE = (int) ChronoUnit.DAYS.between(LocalDate.of(1984, 1, 1),
                                                                       LocalDate.of(2001, 9, 13));

    private static int login(String name) {
        int[] handle = cell(0);
        int status = KorvaneJni.Login(handle, name);
        checkStatus(0, status, "Login " + name);
        check(handle[0] != 0, "Login " + name + " gives a handle");
        return handle[0];
    }

    private static void serverMode() throws Exception {
        check(servers().isEmpty(), "no server runs at the start");
        withoutConnection("before any Login");

        // Not registered yet: the ProgID is unknown, COM is left again.
        int[] handle = cell(-3);
        int status = KorvaneJni.Login(handle, "early");
        check(KorvaneJni.isComFailure(status), "Login before registration fails with a COM status: " + show(status));
        checkEquals(-3, handle[0], "Login before registration leaves Handle[0]");
        withoutConnection("after a failed Login");
        check(servers().isEmpty(), "no server was started by the failed Login");

        checkEquals(0, register(), "varsvc -RegServer");
        check(servers().isEmpty(), "registration leaves no server running");

        invalidArguments(1, "no connection");

        // The main road: log in, open, stamp, filter, block, layout, log out.
        int h = login("java");
        check(servers().size() == 1, "Login started one server");
        checkStatus(0, KorvaneJni.ProjOpen(h, project), "ProjOpen");
        checkStatus(1, KorvaneJni.ProjOpen(h, project), "a second ProjOpen of the login");
        checkStatus(1, KorvaneJni.ProjOpen(h + 1000, project), "ProjOpen with an unknown handle");

        int[] msec = cell(-1);
        short[] date = shortCell(-1);
        checkStatus(0, KorvaneJni.GetProjStampCC(h, msec, date), "GetProjStampCC");
        checkEquals(STAMP_MSEC, msec[0], "relMsec of the plant's stamp");
        checkEquals(STAMP_DATE, (int) date[0], "relDate of the plant's stamp");
        msec[0] = -1;
        date[0] = -1;
        checkStatus(1, KorvaneJni.GetProjStampCC(h + 1000, msec, date), "GetProjStampCC with an unknown handle");
        check(msec[0] == -1 && date[0] == -1, "GetProjStampCC with an unknown handle leaves both arrays");

        int[] iterator = cell(77);
        checkStatus(0, KorvaneJni.SetVarInfoFilter(h, "*", (short) 0, (short) 0, 0, iterator), "SetVarInfoFilter");
        checkEquals(0, iterator[0], "SetVarInfoFilter resets the iterator");
        iterator[0] = 77;
        checkStatus(1, KorvaneJni.SetVarInfoFilter(h + 1000, "*", (short) 0, (short) 0, 0, iterator),
                    "SetVarInfoFilter with an unknown handle");
        checkEquals(77, iterator[0], "SetVarInfoFilter with an unknown handle leaves the iterator");
        checkStatus(0, KorvaneJni.SetVarInfoFilter(h, null, (short) 0, (short) 0, 0, iterator),
                    "SetVarInfoFilter with a null mask");

        // The server does not serve the old block member: 1, nothing copied.
        for (int req : new int[] {0, 1, 5, -1}) {
            Block block = new Block(5);
            checkStatus(1, block.call(h, req), "GetVarInfoBlock " + req);
            check(block.untouched(), "GetVarInfoBlock " + req + " copies nothing");
        }
        Block small = new Block(0);
        checkStatus(1, small.call(h, 10), "GetVarInfoBlock into arrays of length 0");

        int[][] cells = layoutCells(1);
        checkStatus(0, layout(h, cells), "GetStateRamLayout");
        check(layoutHolds(cells, 1), "GetStateRamLayout hands back the cells as passed");
        cells = layoutCells(-4);
        checkStatus(0, layout(h + 1000, cells), "GetStateRamLayout with an unknown handle");
        check(layoutHolds(cells, -4), "GetStateRamLayout with an unknown handle keeps the cells");

        invalidArguments(h, "connected");
        noCallMethods("connected");

        // Many calls in a row: no local reference piles up, no exception stays.
        int rounds = 0;
        String firstBad = "";
        for (int i = 0; i < 3000; i++) {
            Block block = new Block(2);
            int s1 = block.call(h, 2);
            int s2 = KorvaneJni.GetProjStampCC(h, msec, date);
            int s3 = KorvaneJni.SetVarInfoFilter(h, "di_*", (short) 0, (short) 0, 0, iterator);
            if (s1 != 1 || s2 != 0 || s3 != 0 || msec[0] != STAMP_MSEC) {
                firstBad = "round " + i + ": " + show(s1) + " " + show(s2) + " " + show(s3);
                break;
            }
            rounds++;
        }
        checkEquals(3000, rounds, "rounds of calls with the expected answers " + firstBad);

        // Another thread is not in the login's apartment.
        AtomicInteger fromThread = new AtomicInteger();
        Thread other = new Thread(() -> fromThread.set(KorvaneJni.ProjOpen(h, project)));
        other.start();
        other.join();
        checkStatus(KorvaneJni.WRONG_THREAD, fromThread.get(), "ProjOpen from another thread");
        checkStatus(1, KorvaneJni.ProjOpen(h, project), "the login thread still reaches the server");

        checkStatus(0, KorvaneJni.Logout(h, (short) 0), "Logout");
        withoutConnection("after Logout");

        // Logout with an unknown handle answers 1 and still drops the connection.
        int h2 = login("second");
        checkStatus(1, KorvaneJni.Logout(h2 + 1000, (short) 1), "Logout with an unknown handle");
        checkStatus(KorvaneJni.NO_CONNECTION, KorvaneJni.ProjOpen(h2, project),
                    "ProjOpen after a Logout with an unknown handle");

        // A second Login replaces the connection; the first login lives on.
        int h3 = login("third");
        int h4 = login("fourth");
        check(h3 != h4, "two logins get two handles");
        check(servers().size() == 1, "one server serves both logins");
        checkStatus(0, KorvaneJni.ProjOpen(h3, project), "ProjOpen of the replaced connection's login");
        checkStatus(0, KorvaneJni.ProjOpen(h4, ""), "ProjOpen with the default project");
        checkStatus(0, KorvaneJni.Logout(h3, (short) 0), "Logout of the first login");
        checkStatus(KorvaneJni.NO_CONNECTION, KorvaneJni.Logout(h4, (short) 0),
                    "Logout after the connection was dropped");
        int h5 = login("fifth");
        checkStatus(0, KorvaneJni.Logout(h2, (short) 0), "Logout of a login made over an earlier connection");
        checkStatus(KorvaneJni.NO_CONNECTION, KorvaneJni.Logout(h5, (short) 0), "Logout without connection");

        // The server goes away under a live connection.
        int h6 = login("sixth");
        checkStatus(0, KorvaneJni.ProjOpen(h6, project), "ProjOpen before the server is killed");
        killServers();
        status = KorvaneJni.ProjOpen(h6, project);
        check(KorvaneJni.isComFailure(status), "ProjOpen on a killed server fails with a COM status: " + show(status));
        msec[0] = -1;
        date[0] = -1;
        status = KorvaneJni.GetProjStampCC(h6, msec, date);
        check(KorvaneJni.isComFailure(status), "GetProjStampCC on a killed server: " + show(status));
        check(msec[0] == -1 && date[0] == -1, "GetProjStampCC on a killed server writes nothing");
        Block gone = new Block(3);
        status = gone.call(h6, 3);
        check(KorvaneJni.isComFailure(status), "GetVarInfoBlock on a killed server: " + show(status));
        check(gone.untouched(), "GetVarInfoBlock on a killed server writes nothing");
        cells = layoutCells(9);
        status = layout(h6, cells);
        check(KorvaneJni.isComFailure(status), "GetStateRamLayout on a killed server: " + show(status));
        check(layoutHolds(cells, 9), "GetStateRamLayout on a killed server writes nothing");
        status = KorvaneJni.Logout(h6, (short) 0);
        check(KorvaneJni.isComFailure(status), "Logout on a killed server: " + show(status));
        withoutConnection("after Logout from a killed server");

        // A new Login starts a new server; its Logout lets that server end.
        int h7 = login("seventh");
        check(servers().size() == 1, "the new Login started a server");
        checkStatus(0, KorvaneJni.ProjOpen(h7, project), "ProjOpen on the new server");
        checkStatus(0, KorvaneJni.Logout(h7, (short) 0), "Logout from the new server");
        check(waitFor(() -> servers().isEmpty(), 20000), "the server ends after the connection was released");
    }

    // ---- the mode "unload" --------------------------------------------------

    /** Loads KorvaneJni in a loader of its own, logs in, and lets the loader go. */
    private static WeakReference<ClassLoader> loginInOwnLoader(URL[] classPath) throws Exception {
        URLClassLoader loader = new URLClassLoader(classPath, ClassLoader.getPlatformClassLoader());
        Class<?> bridge = Class.forName("com.velmoraautomation.punitdb.KorvaneJni", true, loader);
        int[] handle = cell(0);
        Object status = bridge.getMethod("Login", int[].class, String.class).invoke(null, handle, "unload");
        checkEquals(0, status, "Login through the own loader");
        status = bridge.getMethod("ProjOpen", int.class, String.class).invoke(null, handle[0], project);
        checkEquals(0, status, "ProjOpen through the own loader");
        loader.close();
        return new WeakReference<>(loader);
    }

    private static void unloadMode() throws Exception {
        checkEquals(0, register(), "varsvc -RegServer");
        // The jar comes from a property: touching the class here would load
        // the library into this test's own loader first.
        URL jar = Paths.get(System.getProperty("korvane.jar")).toUri().toURL();
        WeakReference<ClassLoader> loader = loginInOwnLoader(new URL[] {jar});
        check(servers().size() == 1, "Login started the server");
        check(waitFor(() -> {
            System.gc();
            return loader.get() == null;
        }, 30000), "the loader and the library are unloaded");
        // The server ends 5 s after its last object was released; without
        // the release on unload the connection would keep it running.
        check(waitFor(() -> servers().isEmpty(), 30000), "the server ends after the library was unloaded");
    }


    // ---- the mode "fake": a stand-in document server ------------------------

    private static final int FAKE_HANDLE = 4242;

    private static Block readBlock(int req, int size, int iteratorStart) {
        Block block = new Block(size);
        block.iterator[0] = iteratorStart;
        checkStatus(0, block.call(FAKE_HANDLE, req), "block of " + req + " into " + size);
        return block;
    }

    private static void filter(String mask) {
        int[] iterator = cell(-1);
        checkStatus(0, KorvaneJni.SetVarInfoFilter(FAKE_HANDLE, mask, (short) 0, (short) 0, 0, iterator),
                    "filter " + mask);
    }

    /** Entry i of the fake's plain catalogue at slot `slot` of `block`. */
    private static void checkPlainEntry(Block block, int slot, int i, String what) {
        boolean ok = ("Var" + i).equals(block.names[slot]) && ("Comment " + i).equals(block.cmnts[slot])
                && block.types[slot] == -i && block.sizes[slot] == 2 * i && block.addrs[slot] == i + 1
                && block.indxs[slot] == -1000 - i && block.attrs[slot] == i % 3 && block.compOffs[slot] == 8 * i;
        check(ok, what + ": slot " + slot + " holds entry " + i + " (" + block.names[slot] + ", "
                      + block.types[slot] + ", " + block.indxs[slot] + ")");
    }

    private static boolean slotUntouched(Block b, int i) {
        return "mark".equals(b.names[i]) && "mark".equals(b.cmnts[i]) && b.types[i] == -7 && b.sizes[i] == -7
                && b.addrs[i] == -7 && b.indxs[i] == -7 && b.attrs[i] == -7 && b.compOffs[i] == -7;
    }

    private static void fakeLogins() {
        // A rejected name: the server's status, Handle[0] untouched, no connection.
        int[] handle = cell(-3);
        checkStatus(1, KorvaneJni.Login(handle, "reject"), "Login with a rejected name");
        checkEquals(-3, handle[0], "a rejected Login leaves Handle[0]");
        checkStatus(KorvaneJni.NO_CONNECTION, KorvaneJni.ProjOpen(FAKE_HANDLE, "p"), "ProjOpen after a rejected Login");

        // The dispatcher rejects an argument: the HRESULT, no connection.
        checkStatus(KorvaneJni.BAD_REPLY_TYPE, KorvaneJni.Login(handle, "refuse"), "Login refused by the dispatcher");
        checkEquals(-3, handle[0], "a refused Login leaves Handle[0]");
        checkStatus(KorvaneJni.NO_CONNECTION, KorvaneJni.ProjOpen(FAKE_HANDLE, "p"), "ProjOpen after a refused Login");
        checkStatus(0x80070005, KorvaneJni.Login(handle, "raise"), "Login failing with an exception's code");
        checkEquals(-3, handle[0], "a failed Login leaves Handle[0]");
        withoutConnection("after a Login that raised");
    }

    private static void fakeBlocks() {
        // The plain catalogue of 50 entries in blocks of 20.
        filter("*");
        Block b1 = readBlock(20, 20, 5);
        checkEquals(20, (int) b1.numberRet[0], "first block count");
        checkEquals(25, b1.iterator[0], "first block iterator");
        for (int i = 0; i < 20; i++) {
            checkPlainEntry(b1, i, i, "first block");
        }
        Block b2 = readBlock(20, 20, 25);
        checkEquals(20, (int) b2.numberRet[0], "second block count");
        checkPlainEntry(b2, 0, 20, "second block");
        checkPlainEntry(b2, 19, 39, "second block");
        Block b3 = readBlock(20, 20, 45);
        checkEquals(10, (int) b3.numberRet[0], "last block count");
        checkEquals(55, b3.iterator[0], "last block iterator");
        checkPlainEntry(b3, 9, 49, "last block");
        check(slotUntouched(b3, 10) && slotUntouched(b3, 19), "slots after the count stay as they were");
        Block b4 = readBlock(20, 20, 55);
        checkEquals(0, (int) b4.numberRet[0], "empty block count");
        checkEquals(55, b4.iterator[0], "empty block iterator");
        check(slotUntouched(b4, 0), "an empty block copies no entry");
        Block none = readBlock(0, 0, 3);
        checkEquals(0, (int) none.numberRet[0], "block of 0 into arrays of length 0");

        // Hard strings: exact UTF-16 units both ways, a null element as "".
        int[] handle = cell(0);
        String name = "j\u00e4v\u00e4 \uD83D\uDE00 \u0000x \uDC00";
        checkStatus(0, KorvaneJni.Login(handle, name), "Login with a hard name");
        filter("strings");
        Block s = readBlock(7, 7, 0);
        checkEquals(7, (int) s.numberRet[0], "string block count");
        String[] expected = {"", "a\u0000b", "\uD83D\uDE00 smile", "lone \uDC00", "\u00e4\u00f6\u00fc\u00df", name, ""};
        for (int i = 0; i < 7; i++) {
            checkEquals(expected[i], s.names[i], "name " + i);
            checkEquals(i == 6 ? "null name" : "c:" + expected[i], s.cmnts[i], "comment " + i);
        }
        check(s.sizes[1] == -1 && s.addrs[3] == -32768 && s.attrs[2] == 32767 && s.indxs[5] == -6
                      && s.indxs[0] == -1 && s.types[4] == 4 && s.compOffs[6] == 7,
              "extreme 16-bit values, indexes widened with their sign");

        // Malformed replies: a failing status, nothing written.
        String[][] malformed = {{"badtype", "0x80020005"}, {"twodim", "0x80020005"}, {"missing", "0x80020005"},
                                {"short", "0x8002000B"}, {"huge", "0x8002000B"}, {"fail", "3"}};
        for (String[] c : malformed) {
            filter(c[0]);
            Block b = new Block(10);
            int expect = c[1].startsWith("0x") ? Integer.parseUnsignedInt(c[1].substring(2), 16)
                                               : Integer.parseInt(c[1]);
            checkStatus(expect, b.call(FAKE_HANDLE, 10), "reply " + c[0]);
            check(b.untouched(), "reply " + c[0] + " writes nothing");
        }
        // A lower bound of 1 is honoured.
        filter("lbound");
        Block lb = readBlock(3, 3, 0);
        checkPlainEntry(lb, 0, 0, "lower bound 1");
        checkPlainEntry(lb, 2, 2, "lower bound 1");
        // More entries than the Java arrays hold.
        filter("*");
        Block tooSmall = new Block(5);
        checkStatus(KorvaneJni.BAD_REPLY_SIZE, tooSmall.call(FAKE_HANDLE, 10), "a block larger than the arrays");
        check(tooSmall.untouched(), "a block larger than the arrays writes nothing");
        Block b = new Block(10);
        short[] attrs = {-7, -7, -7};
        checkStatus(KorvaneJni.BAD_REPLY_SIZE,
                    KorvaneJni.GetVarInfoBlock(FAKE_HANDLE, b.iterator, (short) 10, b.numberRet, b.names, b.cmnts,
                                               b.types, b.sizes, b.addrs, b.indxs, attrs, b.compOffs),
                    "one array shorter than the block");
        check(b.untouched() && attrs[0] == -7, "one short array: nothing written");
        // An unknown handle: the fake fills everything and answers 1.
        Block unknown = new Block(4);
        checkStatus(1, unknown.call(FAKE_HANDLE + 1, 4), "block with an unknown handle");
        check(unknown.untouched(), "block with an unknown handle writes nothing");

        // Large blocks, many times: one local reference at a time.
        int rounds = 0;
        for (int round = 0; round < 20; round++) {
            filter("many");
            int total = 0;
            String last = "";
            for (int call = 0; call < 4; call++) {
                Block big = new Block(400);
                int status = big.call(FAKE_HANDLE, 400);
                if (status != 0) {
                    checkStatus(0, status, "large block " + round + "/" + call);
                    break;
                }
                total += big.numberRet[0];
                if (big.numberRet[0] > 0) {
                    last = big.names[big.numberRet[0] - 1];
                }
            }
            if (total != 1000 || !last.equals("Var999")) {
                check(false, "round " + round + " read " + total + " entries ending with " + last);
                break;
            }
            rounds++;
        }
        checkEquals(20, rounds, "rounds over 1000 entries in blocks of 400");
    }

    private static void fakeMode() throws Exception {
        checkEquals(0, register(), "fake server -RegServer");
        fakeLogins();

        int h = login("fake");
        checkEquals(FAKE_HANDLE, h, "the fake's handle");
        checkStatus(0, KorvaneJni.ProjOpen(h, "p"), "ProjOpen");
        int[] msec = cell(-1);
        short[] date = shortCell(-1);
        checkStatus(0, KorvaneJni.GetProjStampCC(h, msec, date), "GetProjStampCC");
        check(msec[0] == 123456 && date[0] == 6465, "stamp cells copied: " + msec[0] + " " + date[0]);
        msec[0] = -1;
        date[0] = -1;
        checkStatus(1, KorvaneJni.GetProjStampCC(h + 1, msec, date), "GetProjStampCC with an unknown handle");
        check(msec[0] == -1 && date[0] == -1, "a failing stamp copies nothing the server wrote");

        int[] iterator = cell(-1);
        checkStatus(0, KorvaneJni.SetVarInfoFilter(h, "*", (short) 3, (short) -2, 77, iterator), "SetVarInfoFilter");
        checkEquals(3 * 1000000 - 2 * 1000 + 77, iterator[0], "the masks arrive in their places");
        iterator[0] = -1;
        checkStatus(1, KorvaneJni.SetVarInfoFilter(h + 1, "*", (short) 0, (short) 0, 0, iterator),
                    "SetVarInfoFilter with an unknown handle");
        checkEquals(-1, iterator[0], "a failing filter copies nothing");

        int[][] cells = layoutCells(1);
        checkStatus(0, layout(h, cells), "GetStateRamLayout");
        check(layoutHolds(cells, 101), "layout cells passed in and copied back");
        cells = layoutCells(1);
        checkStatus(1, layout(h + 1, cells), "GetStateRamLayout with an unknown handle");
        check(layoutHolds(cells, 1), "a failing layout copies nothing");

        fakeBlocks();

        checkStatus(1, KorvaneJni.Logout(h + 1, (short) 0), "Logout with an unknown handle");
        withoutConnection("after Logout with an unknown handle");
        h = login("again");
        checkStatus(0, KorvaneJni.Logout(h, (short) 1), "Logout");

        // The server dies during a call.
        h = login("last");
        int status = KorvaneJni.ProjOpen(h, "die");
        check(KorvaneJni.isComFailure(status), "ProjOpen during which the server dies: " + show(status));
        status = KorvaneJni.ProjOpen(h, "p");
        check(KorvaneJni.isComFailure(status), "a call after the server died: " + show(status));
        status = KorvaneJni.Logout(h, (short) 0);
        check(KorvaneJni.isComFailure(status), "Logout after the server died: " + show(status));
        withoutConnection("after the server died");
    }

    // ---- main ---------------------------------------------------------------

    public static void main(String[] args) throws Exception {
        String mode = args.length > 0 ? args[0] : "";
        if (mode.equals("fake")) {
            program = Paths.get(System.getProperty("korvane.fake")).toRealPath();
            project = "p";
        } else {
            tree = Paths.get(System.getProperty("korvane.tree")).toRealPath();
            program = tree.resolve("bin/varsvc").toRealPath();
            project = tree.resolve("projects/line1/line1.prj").toString();
            check(Files.isRegularFile(Paths.get(project)), "the example project exists");
        }
        switch (mode) {
            case "server":
                serverMode();
                break;
            case "unload":
                unloadMode();
                break;
            case "fake":
                fakeMode();
                break;
            default:
                System.out.println("usage: KorvaneJniTest server|unload|fake");
                System.exit(2);
        }
        for (ProcessHandle p : servers()) {
            p.destroyForcibly();
        }
        System.out.println(passed + " passed, " + failed + " failed");
        System.exit(failed == 0 && passed > 0 ? 0 : 1);
    }
}
