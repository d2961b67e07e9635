// Java access to the registry values of one key and to the process marker
// mutex "ZEPMutex", implemented by the native library libHalvex.so.
package com.velmoraautomation.util;

/**
 * One registry key, named by a predefined root and a path below it, whose
 * values can be read and written, and the named mutex that tells whether
 * another process of the user already runs.
 *
 * <p>Values map to Java as follows: REG_SZ to {@link String}, REG_DWORD to
 * {@link Integer}, REG_BINARY to {@code byte[]}; every other type is refused
 * with "Unsupported value type". The key must exist: {@code setValue} creates
 * or replaces a value, never a key.
 *
 * <p>Objects are immutable; the native methods read {@code root} and
 * {@code path} on every call. Calls from several threads need no lock.
 * The class loads {@code libHalvex.so} from {@code java.library.path}.
 */
public final class Halvex {
    /** The predefined root HKEY_CLASSES_ROOT. */
    public static final int HKEY_CLASSES_ROOT = 0x80000000;
    /** The predefined root HKEY_CURRENT_USER. */
    public static final int HKEY_CURRENT_USER = 0x80000001;
    /** The predefined root HKEY_LOCAL_MACHINE. */
    public static final int HKEY_LOCAL_MACHINE = 0x80000002;
    /** The predefined root HKEY_USERS. */
    public static final int HKEY_USERS = 0x80000003;

    static {
        System.loadLibrary("Halvex");
    }

    // Read by the native methods under these names and signatures.
    private final int root;
    private final String path;

    /**
     * Names the key {@code root\path}. The key is not opened here; a root
     * that is not a predefined one, a null path or a key that does not exist
     * makes later calls fail with "Open key failed".
     */
    public Halvex(int root, String path) {
        this.root = root;
        this.path = path;
    }

    /** The numeric root handle. */
    public int getRoot() {
        return root;
    }

    /** The key path below the root (separated by '\'). */
    public String getPath() {
        return path;
    }

    /**
     * Creates (or opens) the mutex "ZEPMutex" and keeps it for the life of
     * the process. Returns false exactly when the mutex already existed,
     * created by another process or by an earlier call in this one.
     *
     * @throws HalvexException "Create mutex failed" when it cannot be created
     */
    public static native boolean createMutex() throws HalvexException;

    /**
     * Reads the value {@code name} (null: the key's default value).
     *
     * @return a String, an Integer or a byte[], by the value's type
     * @throws HalvexException "Open key failed", "Query value key failed"
     *     (missing or unreadable value) or "Unsupported value type"
     */
    public native Object getValue(String name) throws HalvexException;

    /**
     * Creates or replaces the value {@code name} (null: the key's default
     * value) with a String (REG_SZ), an Integer (REG_DWORD) or a byte[]
     * (REG_BINARY).
     *
     * @throws HalvexException "Open key failed", "Unsupported value type"
     *     (any other object, null included; nothing is written) or
     *     "Query value key failed" (the write failed)
     */
    public native void setValue(String name, Object value) throws HalvexException;
}
