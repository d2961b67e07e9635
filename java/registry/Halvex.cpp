// The native methods of the Java class com.velmoraautomation.util.Halvex:
// reading and writing one registry value of the key named by the object's
// "root" and "path" fields, and creating the process marker mutex "ZEPMutex".
//
// Every failure leaves exactly one pending Java exception and the method
// returns at once; a successful return never leaves one pending. Keys are
// closed on every path after they were opened, and no method creates local
// references in a loop.
//
// Decisions taken here:
// - createMutex is a static method. When the mutex cannot be created at all
//   it throws HalvexException "Create mutex failed" instead of reporting
//   true, which would tell the caller that no other instance runs. The
//   first handle the process obtains stays open for the life of the process;
//   the handles of later calls only serve to learn whether the name exists
//   and are closed again, so repeated calls do not pile up handles.
// - A null value name names the key's default value, as it does for the
//   registry functions. A null "path" field opens no key: "Open key failed".
// - Key paths and value names are passed as their modified UTF-8 bytes.
// - A value that grows between the size query and the read is read again
//   (a few times) rather than reported as a failure; the type used for the
//   conversion is the one returned together with the bytes.
// - setValue of null, or of any object that is not a String, Integer or
//   byte[], throws "Unsupported value type" and writes nothing.
// - The design's getValue leaves the key open and the buffer allocated when
//   the value cannot be read or converted; here both are released on every
//   path.
// - Integers are made with the constructor Integer(int); should a future
//   Java release remove it, Integer.valueOf(int) is used instead.
#include <jni.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "com_velmoraautomation_util_Halvex.h"
#include "java/registry/HalvexValue.h"
#include "platform/HandleTable.h"
#include "platform/LastError.h"
#include "platform/Registry.h"
#include "platform/Sync.h"

using korvane::halvex::HalvexError;
using korvane::halvex::JavaForm;

static_assert(std::is_same_v<jchar, uint16_t>, "jchar must be a 16-bit unsigned unit");
static_assert(std::is_same_v<jbyte, int8_t>, "jbyte must be a signed byte");

namespace {

// Classes and members looked up once when the library is loaded; the classes
// are global references released when it is unloaded.
struct JavaRefs {
    jclass exception = nullptr;
    jclass string = nullptr;
    jclass integer = nullptr;
    jclass byteArray = nullptr;
    jmethodID integerInit = nullptr;    // Integer(int), when present
    jmethodID integerValueOf = nullptr; // Integer.valueOf(int), the fallback
    jmethodID intValue = nullptr;
};

JavaRefs g_refs;

// The mutex handle kept for the life of the process (never closed).
std::atomic<HANDLE> g_mutex{nullptr};

// Retries of a read whose value grew after its size was asked for.
constexpr int kReadAttempts = 4;

void Throw(JNIEnv* env, HalvexError error) {
    env->ThrowNew(g_refs.exception, korvane::halvex::HalvexMessage(error));
}

// Raises OutOfMemoryError for a failed allocation of our own; the virtual
// machine must never see a C++ exception.
void ThrowOutOfMemory(JNIEnv* env) {
    if (env->ExceptionCheck()) {
        return;
    }
    jclass oom = env->FindClass("java/lang/OutOfMemoryError");
    if (oom != nullptr) {
        env->ThrowNew(oom, "Halvex: native allocation failed");
        env->DeleteLocalRef(oom);
    }
}

// Closes an opened key when the scope ends, whichever way it ends.
class KeyCloser {
public:
    explicit KeyCloser(HKEY key) : m_key(key) {}
    ~KeyCloser() { RegCloseKey(m_key); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    HKEY m_key;
};

// A Java string as modified UTF-8, or absent for null. False with an
// exception pending when the virtual machine raised one.
struct Utf8Name {
    bool present = false;
    std::string bytes;
    const char* get() const { return present ? bytes.c_str() : nullptr; }
};

bool ReadUtf8(JNIEnv* env, jstring text, Utf8Name& out) {
    out.present = text != nullptr;
    out.bytes.clear();
    if (text == nullptr) {
        return true;
    }
    const jsize length = env->GetStringLength(text);
    const jsize utfLength = env->GetStringUTFLength(text);
    // Room for the terminator that GetStringUTFRegion writes after the bytes.
    out.bytes.assign(static_cast<size_t>(utfLength) + 1, '\0');
    env->GetStringUTFRegion(text, 0, length, out.bytes.data());
    out.bytes.resize(static_cast<size_t>(utfLength));
    return !env->ExceptionCheck();
}

// Opens root\path of `self` with `access`. On failure an exception is
// pending (HalvexException "Open key failed", or the virtual machine's own
// when a field is missing) and false is returned.
bool OpenKey(JNIEnv* env, jobject self, REGSAM access, HKEY* key) {
    *key = nullptr;
    jclass cls = env->GetObjectClass(self);
    jfieldID rootField = env->GetFieldID(cls, "root", "I");
    jfieldID pathField = rootField ? env->GetFieldID(cls, "path", "Ljava/lang/String;") : nullptr;
    env->DeleteLocalRef(cls);
    if (rootField == nullptr || pathField == nullptr) {
        return false; // NoSuchFieldError is pending
    }
    const jint root = env->GetIntField(self, rootField);
    jstring path = static_cast<jstring>(env->GetObjectField(self, pathField));
    if (path == nullptr) {
        Throw(env, HalvexError::OpenKeyFailed);
        return false;
    }
    Utf8Name pathUtf;
    const bool read = ReadUtf8(env, path, pathUtf);
    env->DeleteLocalRef(path);
    if (!read) {
        return false;
    }
    HKEY opened = nullptr;
    if (RegOpenKeyExA(korvane::halvex::RootFromJava(root), pathUtf.get(), 0, access, &opened) !=
        ERROR_SUCCESS) {
        Throw(env, HalvexError::OpenKeyFailed);
        return false;
    }
    *key = opened;
    return true;
}

jobject ToJava(JNIEnv* env, DWORD type, const std::vector<uint8_t>& data, size_t size) {
    switch (korvane::halvex::ReadForm(type, size)) {
    case JavaForm::String: {
        const std::vector<uint16_t> units = korvane::halvex::DecodeStringValue(data.data(), size);
        static const jchar none = 0;
        return env->NewString(units.empty() ? &none : units.data(),
                              static_cast<jsize>(units.size()));
    }
    case JavaForm::Integer: {
        const jint value = korvane::halvex::DecodeDword(data.data());
        if (g_refs.integerInit != nullptr) {
            return env->NewObject(g_refs.integer, g_refs.integerInit, value);
        }
        return env->CallStaticObjectMethod(g_refs.integer, g_refs.integerValueOf, value);
    }
    case JavaForm::Bytes: {
        jbyteArray array = env->NewByteArray(static_cast<jsize>(size));
        if (array != nullptr && size > 0) {
            env->SetByteArrayRegion(array, 0, static_cast<jsize>(size),
                                    reinterpret_cast<const jbyte*>(data.data()));
        }
        return array;
    }
    case JavaForm::Unsupported:
        break;
    }
    Throw(env, HalvexError::UnsupportedType);
    return nullptr;
}

jobject GetValue(JNIEnv* env, jobject self, jstring name) {
    Utf8Name nameUtf;
    if (!ReadUtf8(env, name, nameUtf)) {
        return nullptr;
    }
    HKEY key = nullptr;
    if (!OpenKey(env, self, KEY_READ, &key)) {
        return nullptr;
    }
    KeyCloser closer(key);

    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, nameUtf.get(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        Throw(env, HalvexError::QueryValueFailed);
        return nullptr;
    }
    std::vector<uint8_t> data;
    for (int attempt = 0;; ++attempt) {
        // One byte more than needed keeps the buffer non-null for an empty
        // value.
        data.assign(static_cast<size_t>(size) + 1, 0);
        DWORD got = static_cast<DWORD>(data.size());
        const LSTATUS rc = RegQueryValueExA(key, nameUtf.get(), nullptr, &type, data.data(), &got);
        if (rc == ERROR_SUCCESS && got <= data.size()) {
            size = got;
            break;
        }
        if (rc != ERROR_MORE_DATA || attempt + 1 >= kReadAttempts) {
            Throw(env, HalvexError::QueryValueFailed);
            return nullptr;
        }
        size = got;
    }
    // A null result with an exception pending (our own, or OutOfMemoryError
    // from the virtual machine) goes straight back to Java.
    return ToJava(env, type, data, size);
}

void SetValue(JNIEnv* env, jobject self, jstring name, jobject value) {
    Utf8Name nameUtf;
    if (!ReadUtf8(env, name, nameUtf)) {
        return;
    }
    HKEY key = nullptr;
    if (!OpenKey(env, self, KEY_WRITE, &key)) {
        return;
    }
    KeyCloser closer(key);

    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
    bool fits = true;
    if (value != nullptr && env->IsInstanceOf(value, g_refs.string)) {
        jstring text = static_cast<jstring>(value);
        // Every UTF-16 unit takes at least one byte: a longer string can
        // never be stored, and its byte count is not computed at all.
        const jsize length = env->GetStringLength(text);
        fits = korvane::halvex::WriteSizeFits(static_cast<size_t>(length) + 1);
        if (fits) {
            const jsize utfLength = env->GetStringUTFLength(text);
            fits = korvane::halvex::WriteSizeFits(static_cast<size_t>(utfLength) + 1);
            if (fits) {
                // The modified UTF-8 bytes and a terminating zero.
                data.assign(static_cast<size_t>(utfLength) + 1, 0);
                env->GetStringUTFRegion(text, 0, length, reinterpret_cast<char*>(data.data()));
                data.back() = 0;
            }
        }
        type = REG_SZ;
    } else if (value != nullptr && env->IsInstanceOf(value, g_refs.integer)) {
        const jint number = env->CallIntMethod(value, g_refs.intValue);
        if (env->ExceptionCheck()) {
            return;
        }
        const auto bytes = korvane::halvex::EncodeDword(number);
        data.assign(bytes.begin(), bytes.end());
        type = REG_DWORD;
    } else if (value != nullptr && env->IsInstanceOf(value, g_refs.byteArray)) {
        jbyteArray array = static_cast<jbyteArray>(value);
        const jsize length = env->GetArrayLength(array);
        fits = korvane::halvex::WriteSizeFits(static_cast<size_t>(length));
        if (fits) {
            data.assign(static_cast<size_t>(length), 0);
            if (length > 0) {
                env->GetByteArrayRegion(array, 0, length, reinterpret_cast<jbyte*>(data.data()));
            }
        }
        type = REG_BINARY;
    } else {
        Throw(env, HalvexError::UnsupportedType);
        return;
    }
    if (env->ExceptionCheck()) {
        return;
    }
    if (!fits) {
        // The store refuses a value this large; report it as the failed
        // write it would be.
        Throw(env, HalvexError::QueryValueFailed);
        return;
    }
    static const BYTE none = 0;
    if (RegSetValueExA(key, nameUtf.get(), 0, type, data.empty() ? &none : data.data(),
                       static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
        // The same text as for a failed read.
        Throw(env, HalvexError::QueryValueFailed);
    }
}

jboolean CreateMutex(JNIEnv* env) {
    HANDLE handle = CreateMutexA(nullptr, TRUE, korvane::halvex::kMutexName);
    const DWORD error = GetLastError();
    if (handle == nullptr) {
        Throw(env, HalvexError::CreateMutexFailed);
        return JNI_FALSE;
    }
    HANDLE none = nullptr;
    if (!g_mutex.compare_exchange_strong(none, handle)) {
        // The process already keeps a handle, and the name stays held by it.
        CloseHandle(handle);
    }
    return error == static_cast<DWORD>(ERROR_ALREADY_EXISTS) ? JNI_FALSE : JNI_TRUE;
}

jclass GlobalClass(JNIEnv* env, const char* name) {
    jclass local = env->FindClass(name);
    if (local == nullptr) {
        return nullptr;
    }
    jclass global = static_cast<jclass>(env->NewGlobalRef(local));
    env->DeleteLocalRef(local);
    return global;
}

void ReleaseRefs(JNIEnv* env) {
    for (jclass* cls : {&g_refs.exception, &g_refs.string, &g_refs.integer, &g_refs.byteArray}) {
        if (*cls != nullptr) {
            env->DeleteGlobalRef(*cls);
            *cls = nullptr;
        }
    }
    g_refs = JavaRefs{};
}

} // namespace

extern "C" {

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void*) {
    JNIEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_8) != JNI_OK) {
        return JNI_ERR;
    }
    g_refs.exception = GlobalClass(env, korvane::halvex::kExceptionClass);
    g_refs.string = g_refs.exception ? GlobalClass(env, "java/lang/String") : nullptr;
    g_refs.integer = g_refs.string ? GlobalClass(env, "java/lang/Integer") : nullptr;
    g_refs.byteArray = g_refs.integer ? GlobalClass(env, "[B") : nullptr;
    if (g_refs.byteArray == nullptr) {
        ReleaseRefs(env);
        return JNI_ERR; // the pending NoClassDefFoundError explains why
    }
    g_refs.intValue = env->GetMethodID(g_refs.integer, "intValue", "()I");
    g_refs.integerInit = env->GetMethodID(g_refs.integer, "<init>", "(I)V");
    if (g_refs.integerInit == nullptr) {
        env->ExceptionClear();
        g_refs.integerValueOf =
            env->GetStaticMethodID(g_refs.integer, "valueOf", "(I)Ljava/lang/Integer;");
    }
    if (g_refs.intValue == nullptr ||
        (g_refs.integerInit == nullptr && g_refs.integerValueOf == nullptr)) {
        ReleaseRefs(env);
        return JNI_ERR;
    }
    return JNI_VERSION_1_8;
}

JNIEXPORT void JNICALL JNI_OnUnload(JavaVM* vm, void*) {
    JNIEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_8) == JNI_OK) {
        ReleaseRefs(env);
    }
}

JNIEXPORT jboolean JNICALL Java_com_velmoraautomation_util_Halvex_createMutex(JNIEnv* env, jclass) {
    try {
        return CreateMutex(env);
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory(env);
        return JNI_FALSE;
    }
}

JNIEXPORT jobject JNICALL Java_com_velmoraautomation_util_Halvex_getValue(JNIEnv* env, jobject self,
                                                                          jstring name) {
    try {
        return GetValue(env, self, name);
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory(env);
        return nullptr;
    }
}

JNIEXPORT void JNICALL Java_com_velmoraautomation_util_Halvex_setValue(JNIEnv* env, jobject self,
                                                                       jstring name,
                                                                       jobject value) {
    try {
        SetValue(env, self, name, value);
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory(env);
    }
}

} // extern "C"
