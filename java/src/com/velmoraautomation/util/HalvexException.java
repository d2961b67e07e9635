// The exception raised by the native methods of Halvex.
package com.velmoraautomation.util;

/**
 * A failure of a {@link Halvex} operation. The message is one of
 * "Open key failed", "Query value key failed" (also for a failed write),
 * "Unsupported value type" and "Create mutex failed".
 */
public class HalvexException extends Exception {
    private static final long serialVersionUID = 1L;

    /** Makes the exception with the given message (the native library calls this). */
    public HalvexException(String message) {
        super(message);
    }
}
