// Java side of the KorvaneJni library: the native methods that log in to the
// catalogue server "Varsvc.Document" through COM and read a project's
// catalogue.
package com.velmoraautomation.punitdb;

/**
 * Native access to the catalogue server. The library keeps one process-wide
 * connection: {@link #Login} makes it (starting the server when none runs),
 * {@link #Logout} drops it. Every call after Login must come from the thread
 * that called Login, one at a time.
 *
 * <p>Every method returns a status. Values from -32768 to 32767 are the
 * server's status (0 success); a value below that is a failing COM status
 * (HRESULT) of the bridge or of the connection, for example
 * {@link #NO_CONNECTION}, {@link #INVALID_ARGUMENT} or
 * {@link #SERVER_UNAVAILABLE}. Output arrays are written (at element 0, or
 * from element 0 for the block arrays) only when the result is 0. No method
 * throws, except that an OutOfMemoryError of the virtual machine may be left
 * pending by {@link #GetVarInfoBlock}.
 */
public final class KorvaneJni {
    static {
        System.loadLibrary("KorvaneJni");
    }

    /** No connection: the method needs a successful Login first (CO_E_NOTINITIALIZED). */
    public static final int NO_CONNECTION = 0x800401F0;
    /** A null array, an output array of length 0, or arrays too short for the answer (E_INVALIDARG). */
    public static final int INVALID_ARGUMENT = 0x80070057;
    /** The server's answer did not have the form agreed on (DISP_E_TYPEMISMATCH). */
    public static final int BAD_REPLY_TYPE = 0x80020005;
    /** The server answered more entries than its arrays or the caller's hold (DISP_E_BADINDEX). */
    public static final int BAD_REPLY_SIZE = 0x8002000B;
    /** The server process is gone (RPC_S_SERVER_UNAVAILABLE). */
    public static final int SERVER_UNAVAILABLE = 0x800706BA;
    /** The server went away during the call (RPC_S_CALL_FAILED). */
    public static final int CALL_FAILED = 0x800706BE;
    /** The call came from a thread other than the one that logged in (RPC_E_WRONG_THREAD). */
    public static final int WRONG_THREAD = 0x8001010E;

    private KorvaneJni() {}

    /** True when {@code status} is a failing COM status rather than a server status. */
    public static boolean isComFailure(int status) {
        return status < Short.MIN_VALUE;
    }

    /** Connects and logs in; status 0 stores the login handle in Handle[0]. */
    public static native int Login(int[] Handle, String Name);

    /** Logs out and drops the connection, whatever the server answers. */
    public static native int Logout(int Handle, short KeepProject);

    /** Makes no call: rc[0] becomes 1 and the result is 0. */
    public static native int ExecRequ(int[] rc);

    /** Opens a project for the login. */
    public static native int ProjOpen(int Handle, String ProjPath);

    /** The variable file's time stamp: milliseconds since midnight and days since 1 January 1984. */
    public static native int GetProjStampCC(int Handle, int[] relMsec, short[] relDate);

    /** Selects the variables that match the masks; BlockIterator[0] becomes 0. */
    public static native int SetVarInfoFilter(int Handle, String NameMask, short TypeMask, short AddrMask,
                                              int EtcMask, int[] BlockIterator);

    /**
     * Reads the next block of the selection into the eight arrays, from index 0; NumberRet[0]
     * receives the count and BlockIterator[0] the advanced iterator. The eight arrays must not be
     * null and must hold the count the server answers.
     */
    public static native int GetVarInfoBlock(int Handle, int[] BlockIterator, short NumberReq, short[] NumberRet,
                                             String[] VarNames, String[] VarCmnts, short[] VarTypes,
                                             short[] VarSizes, short[] VarAddrs, int[] VarIndxs,
                                             short[] VarAttrs, short[] CompOffs);

    /** Not forwarded: always -1, nothing written. */
    public static native int GetVarInfoBlockEx(int Handle, int[] BlockIterator, short NumberReq,
                                               short[] NumberRet, String[] VarNames, String[] VarCmnts,
                                               short[] VarTypes, short[] VarSizes, short[] VarAddrs,
                                               int[] VarIndxs, short[] VarAttrs, short[] CompOffs);

    /** The state-RAM layout; each array's element 0 is passed in and receives the answer. */
    public static native int GetStateRamLayout(int Handle, int[] NumOfCoils, int[] NumOfInputs,
                                               int[] NumOfInputRegs, int[] NumOfHoldingRegs,
                                               int[] NumOfExtRegs, int[] BegCoilsUnProt,
                                               int[] EndCoilsUnProt, int[] BegHoldsUnProt,
                                               int[] EndHoldsUnProt);
}
