// The native methods of the Java class com.velmoraautomation.punitdb.KorvaneJni:
// Login and Logout on the catalogue server "Varsvc.Document" through COM,
// and a subset of its document members called late-bound by dispatch
// identifier, with Java strings and arrays converted to COM strings,
// by-reference cells and safe arrays and back.
//
// Every method returns a status: the server's 16-bit status sign-extended,
// or a failing HRESULT (always below -32768) of the bridge or of COM (see
// KorvaneConnection.h for the no-connection and failed-call decisions).
// Output arrays are written only when the result is 0. No method throws a
// Java exception of its own; only when the virtual machine itself runs out
// of memory while strings are made is its OutOfMemoryError left pending
// (with E_OUTOFMEMORY as the result).
//
// Further decisions taken here:
// - Java arguments are checked before any call: a null array, a cell array
//   of length 0, or a null result array of GetVarInfoBlock gives
//   E_INVALIDARG (0x80070057) and nothing is called or written. A null
//   String is passed as a null BSTR, which the server reads as empty (and
//   Login as "<NoName>").
// - GetStateRamLayout passes each cell with the value of its Java array's
//   element 0; the server writes none of them, so Java receives what it
//   passed. The cells of GetProjStampCC and SetVarInfoFilter start at 0.
// - ExecRequ and GetVarInfoBlockEx need no connection (they make no call).
// - Strings from the server become Java strings of exactly the BSTR's
//   UTF-16 units (embedded zeros and lone surrogates included); a null
//   BSTR becomes "".
#include <jni.h>

#include <algorithm>
#include <cstdint>

#include "com_velmoraautomation_punitdb_KorvaneJni.h"
#include "java/bridge/KorvaneConnection.h"
#include "java/bridge/KorvaneVarBlock.h"
#include "platform/Bstr.h"

static_assert(sizeof(jchar) == sizeof(char16_t), "jchar must be a 16-bit unit");
static_assert(sizeof(jint) == sizeof(LONG) && sizeof(jshort) == sizeof(SHORT), "JNI integer sizes");

namespace {

// The class that Login activates.
constexpr char16_t kDocumentClass[] = u"Varsvc.Document";

// Dispatch identifiers of the document members that the bridge calls.
constexpr DISPID kDispLogin = 2;
constexpr DISPID kDispLogout = 3;
constexpr DISPID kDispProjOpen = 4;
constexpr DISPID kDispGetProjStampCC = 14;
constexpr DISPID kDispSetVarInfoFilter = 19;
constexpr DISPID kDispGetVarInfoBlock = 20;
constexpr DISPID kDispGetStateRamLayout = 21;

// The numbers of cells of GetStateRamLayout.
constexpr int kStateRamCells = 9;

// Units widened per step when the int array of indexes is filled.
constexpr jsize kWidenChunk = 256;

// True when `array` is non-null and holds at least one element.
bool HasCell(JNIEnv* env, jarray array) { return array != nullptr && env->GetArrayLength(array) >= 1; }

// A Java string as a BSTR owned by this object (null for a null string).
class JavaBstr {
public:
    JavaBstr(JNIEnv* env, jstring text) {
        if (text == nullptr)
            return;
        const jsize length = env->GetStringLength(text);
        m_text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
        if (m_text == nullptr) {
            m_failed = true;
            return;
        }
        env->GetStringRegion(text, 0, length, reinterpret_cast<jchar*>(m_text));
    }
    ~JavaBstr() { SysFreeString(m_text); }
    JavaBstr(const JavaBstr&) = delete;
    JavaBstr& operator=(const JavaBstr&) = delete;

    /// False when the copy could not be allocated.
    bool Ok() const { return !m_failed; }
    BSTR Get() const { return m_text; }

private:
    BSTR m_text = nullptr;
    bool m_failed = false;
};

// Stores the strings 0..count-1 of `which` into `target`. One local
// reference lives at a time. E_OUTOFMEMORY with an exception pending when
// the virtual machine could not make a string.
HRESULT CopyStrings(JNIEnv* env, const KorvaneVarBlock& block, KorvaneVarBlock::Array which, jint count,
                    jobjectArray target) {
    for (jint i = 0; i < count; ++i) {
        BSTR element = nullptr;
        if (!block.CopyString(which, i, &element))
            return DISP_E_BADINDEX;
        jstring text = env->NewString(reinterpret_cast<const jchar*>(element != nullptr ? element : u""),
                                      static_cast<jsize>(SysStringLen(element)));
        SysFreeString(element);
        if (text == nullptr)
            return E_OUTOFMEMORY;
        env->SetObjectArrayElement(target, i, text);
        env->DeleteLocalRef(text);
        if (env->ExceptionCheck())
            return E_UNEXPECTED;
    }
    return S_OK;
}

// Copies `count` 16-bit elements of `which` into a short[] or, widened, an int[].
HRESULT CopyNumbers(JNIEnv* env, const KorvaneVarBlock& block, KorvaneVarBlock::Array which, jint count,
                    jarray target, bool widen) {
    const SHORT* data = nullptr;
    const HRESULT hr = block.AccessNumbers(which, &data);
    if (FAILED(hr))
        return hr;
    if (!widen) {
        env->SetShortArrayRegion(static_cast<jshortArray>(target), 0, count, data);
    } else {
        jint wide[kWidenChunk];
        for (jint at = 0; at < count; at += kWidenChunk) {
            const jsize n = std::min<jint>(kWidenChunk, count - at);
            for (jsize i = 0; i < n; ++i)
                wide[i] = data[at + i];
            env->SetIntArrayRegion(static_cast<jintArray>(target), at, n, wide);
        }
    }
    block.UnaccessNumbers(which);
    return S_OK;
}

} // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM*, void*) { return JNI_VERSION_1_8; }

JNIEXPORT void JNICALL JNI_OnUnload(JavaVM*, void*) {
    // The document's reference is given back so that the server can end;
    // the apartment belongs to a thread that may be gone by now.
    KorvaneConnection::ReleaseOnUnload();
}

JNIEXPORT jint JNICALL Java_com_velmoraautomation_punitdb_KorvaneJni_Login(JNIEnv* env, jclass, jintArray Handle,
                                                                          jstring Name) {
    if (!HasCell(env, Handle))
        return E_INVALIDARG;
    JavaBstr name(env, Name);
    if (!name.Ok())
        return E_OUTOFMEMORY;
    const HRESULT hr = KorvaneConnection::Connect(kDocumentClass);
    if (FAILED(hr))
        return hr;
    LONG handle = 0;
    VARIANT args[] = {KorvaneRefI4(&handle), KorvaneBstr(name.Get())};
    const KorvaneResult status = KorvaneConnection::Call(KorvaneConnection::Document(), kDispLogin, args, 2);
    if (status == 0)
        env->SetIntArrayRegion(Handle, 0, 1, &handle);
    else
        KorvaneConnection::Disconnect();
    return status;
}

JNIEXPORT jint JNICALL Java_com_velmoraautomation_punitdb_KorvaneJni_Logout(JNIEnv*, jclass, jint Handle,
                                                                           jshort KeepProject) {
    LONG handle = Handle;
    VARIANT args[] = {KorvaneRefI4(&handle), KorvaneI2(KeepProject)};
    const KorvaneResult status = KorvaneConnection::Call(KorvaneConnection::Document(), kDispLogout, args, 2);
    // The connection goes whatever the server answered.
    KorvaneConnection::Disconnect();
    return status;
}

JNIEXPORT jint JNICALL Java_com_velmoraautomation_punitdb_KorvaneJni_ExecRequ(JNIEnv* env, jclass, jintArray rc) {
    if (!HasCell(env, rc))
        return E_INVALIDARG;
    // The control packet never reaches the server.
    const jint one = 1;
    env->SetIntArrayRegion(rc, 0, 1, &one);
    return 0;
}

JNIEXPORT jint JNICALL Java_com_velmoraautomation_punitdb_KorvaneJni_ProjOpen(JNIEnv* env, jclass, jint Handle,
                                                                             jstring ProjPath) {
    IDispatch* document = KorvaneConnection::Document();
    if (document == nullptr)
        return KORVANE_NO_CONNECTION;
    JavaBstr path(env, ProjPath);
    if (!path.Ok())
        return E_OUTOFMEMORY;
    VARIANT args[] = {KorvaneI4(Handle), KorvaneBstr(path.Get())};
    return KorvaneConnection::Call(document, kDispProjOpen, args, 2);
}

JNIEXPORT jint JNICALL Java_com_velmoraautomation_punitdb_KorvaneJni_GetProjStampCC(JNIEnv* env, jclass,
                                                                                   jint Handle,
                                                                                   jintArray relMsec,
                                                                                   jshortArray relDate) {
    if (!HasCell(env, relMsec) || !HasCell(env, relDate))
        return E_INVALIDARG;
    LONG msec = 0;
    SHORT date = 0;
    VARIANT args[] = {KorvaneI4(Handle), KorvaneRefI4(&msec), KorvaneRefI2(&date)};
    const KorvaneResult status =
        KorvaneConnection::Call(KorvaneConnection::Document(), kDispGetProjStampCC, args, 3);
    if (status == 0) {
        env->SetIntArrayRegion(relMsec, 0, 1, &msec);
        env->SetShortArrayRegion(relDate, 0, 1, &date);
    }
    return status;
}

JNIEXPORT jint JNICALL Java_com_velmoraautomation_punitdb_KorvaneJni_SetVarInfoFilter(
    JNIEnv* env, jclass, jint Handle, jstring NameMask, jshort TypeMask, jshort AddrMask, jint EtcMask,
    jintArray BlockIterator) {
    if (!HasCell(env, BlockIterator))
        return E_INVALIDARG;
    IDispatch* document = KorvaneConnection::Document();
    if (document == nullptr)
        return KORVANE_NO_CONNECTION;
    JavaBstr mask(env, NameMask);
    if (!mask.Ok())
        return E_OUTOFMEMORY;
    LONG iterator = 0;
    VARIANT args[] = {KorvaneI4(Handle), KorvaneBstr(mask.Get()), KorvaneI2(TypeMask),
                      KorvaneI2(AddrMask),  KorvaneI4(EtcMask),     KorvaneRefI4(&iterator)};
    const KorvaneResult status = KorvaneConnection::Call(document, kDispSetVarInfoFilter, args, 6);
    if (status == 0)
        env->SetIntArrayRegion(BlockIterator, 0, 1, &iterator);
    return status;
}

JNIEXPORT jint JNICALL Java_com_velmoraautomation_punitdb_KorvaneJni_GetVarInfoBlock(
    JNIEnv* env, jclass, jint Handle, jintArray BlockIterator, jshort NumberReq, jshortArray NumberRet,
    jobjectArray VarNames, jobjectArray VarCmnts, jshortArray VarTypes, jshortArray VarSizes, jshortArray VarAddrs,
    jintArray VarIndxs, jshortArray VarAttrs, jshortArray CompOffs) {
    using Block = KorvaneVarBlock;
    // The Java arrays in the order of the block's cells.
    const jarray targets[Block::Count] = {VarNames, VarCmnts, VarTypes, VarSizes,
                                          VarAddrs, VarIndxs, VarAttrs, CompOffs};
    if (!HasCell(env, BlockIterator) || !HasCell(env, NumberRet))
        return E_INVALIDARG;
    jint capacity = INT32_MAX;
    for (jarray target : targets) {
        if (target == nullptr)
            return E_INVALIDARG;
        capacity = std::min(capacity, env->GetArrayLength(target));
    }
    IDispatch* document = KorvaneConnection::Document();
    if (document == nullptr)
        return KORVANE_NO_CONNECTION;

    LONG iterator = 0;
    env->GetIntArrayRegion(BlockIterator, 0, 1, &iterator);
    SHORT requested = NumberReq;
    SHORT returned = 0;
    Block block;
    VARIANT args[4 + Block::Count] = {KorvaneI4(Handle), KorvaneRefI4(&iterator), KorvaneRefI2(&requested),
                                      KorvaneRefI2(&returned)};
    for (int k = 0; k < Block::Count; ++k)
        args[4 + k] = KorvaneRefVariant(block.Cell(static_cast<Block::Array>(k)));
    const KorvaneResult status = KorvaneConnection::Call(document, kDispGetVarInfoBlock, args, 4 + Block::Count);
    if (status != 0)
        return status;

    const jint count = returned;
    const HRESULT shape = block.Check(count, capacity);
    if (FAILED(shape))
        return shape;
    env->SetShortArrayRegion(NumberRet, 0, 1, &returned);
    env->SetIntArrayRegion(BlockIterator, 0, 1, &iterator);
    if (count <= 0)
        return 0;
    for (int k = Block::Types; k < Block::Count; ++k) {
        const HRESULT hr = CopyNumbers(env, block, static_cast<Block::Array>(k), count, targets[k], k == Block::Indxs);
        if (FAILED(hr))
            return hr;
    }
    for (Block::Array which : {Block::Names, Block::Cmnts}) {
        const HRESULT hr = CopyStrings(env, block, which, count, static_cast<jobjectArray>(targets[which]));
        if (FAILED(hr))
            return hr;
    }
    return 0;
}

JNIEXPORT jint JNICALL Java_com_velmoraautomation_punitdb_KorvaneJni_GetVarInfoBlockEx(
    JNIEnv*, jclass, jint, jintArray, jshort, jshortArray, jobjectArray, jobjectArray, jshortArray, jshortArray,
    jshortArray, jintArray, jshortArray, jshortArray) {
    // Not forwarded: the extended block is not part of the Java interface.
    return -1;
}

JNIEXPORT jint JNICALL Java_com_velmoraautomation_punitdb_KorvaneJni_GetStateRamLayout(
    JNIEnv* env, jclass, jint Handle, jintArray NumOfCoils, jintArray NumOfInputs, jintArray NumOfInputRegs,
    jintArray NumOfHoldingRegs, jintArray NumOfExtRegs, jintArray BegCoilsUnProt, jintArray EndCoilsUnProt,
    jintArray BegHoldsUnProt, jintArray EndHoldsUnProt) {
    const jintArray targets[kStateRamCells] = {NumOfCoils,     NumOfInputs,    NumOfInputRegs,
                                               NumOfHoldingRegs, NumOfExtRegs,  BegCoilsUnProt,
                                               EndCoilsUnProt, BegHoldsUnProt, EndHoldsUnProt};
    for (jintArray target : targets) {
        if (!HasCell(env, target))
            return E_INVALIDARG;
    }
    IDispatch* document = KorvaneConnection::Document();
    if (document == nullptr)
        return KORVANE_NO_CONNECTION;
    LONG cells[kStateRamCells];
    VARIANT args[1 + kStateRamCells];
    args[0] = KorvaneI4(Handle);
    for (int i = 0; i < kStateRamCells; ++i) {
        env->GetIntArrayRegion(targets[i], 0, 1, &cells[i]);
        args[1 + i] = KorvaneRefI4(&cells[i]);
    }
    const KorvaneResult status = KorvaneConnection::Call(document, kDispGetStateRamLayout, args, 1 + kStateRamCells);
    if (status == 0) {
        for (int i = 0; i < kStateRamCells; ++i)
            env->SetIntArrayRegion(targets[i], 0, 1, &cells[i]);
    }
    return status;
}

} // extern "C"
