// The shape check of a GetVarInfoBlock reply in the KorvaneJni bridge: which
// replies may be copied into Java arrays of a given length, and the element
// access used for the copy.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "java/bridge/KorvaneVarBlock.h"
#include "platform/Bstr.h"
#include "platform/SafeArray.h"

namespace {

using Block = KorvaneVarBlock;

SAFEARRAY* Vector(VARTYPE vt, ULONG elements, LONG lower = 0) { return SafeArrayCreateVector(vt, lower, elements); }

void Put(Block& block, Block::Array which, VARTYPE vt, SAFEARRAY* array) {
    VARIANT* cell = block.Cell(which);
    VariantClear(cell);
    cell->vt = VT_ARRAY | vt;
    cell->parray = array;
}

// Fills every array of `block` with `elements` elements of the right type.
void Fill(Block& block, ULONG elements, LONG lower = 0) {
    for (int k = 0; k < Block::Count; ++k) {
        const VARTYPE vt = k == Block::Names || k == Block::Cmnts ? VT_BSTR : VT_I2;
        Put(block, static_cast<Block::Array>(k), vt, Vector(vt, elements, lower));
    }
}

TEST(KorvaneVarBlock, CheckTable) {
    struct Case {
        const char* name;
        std::function<void(Block&)> reply;
        int32_t count;
        int32_t capacity;
        HRESULT expected;
    };
    const Case cases[] = {
        {"count 0, nothing answered", [](Block&) {}, 0, 0, S_OK},
        {"negative count", [](Block&) {}, -1, 10, S_OK},
        {"count 1 without arrays", [](Block&) {}, 1, 10, DISP_E_TYPEMISMATCH},
        {"exact fit", [](Block& b) { Fill(b, 5); }, 5, 5, S_OK},
        {"count below the arrays", [](Block& b) { Fill(b, 5); }, 3, 5, S_OK},
        {"count one past the Java arrays", [](Block& b) { Fill(b, 6); }, 6, 5, DISP_E_BADINDEX},
        {"count one past the server's arrays", [](Block& b) { Fill(b, 5); }, 6, 10, DISP_E_BADINDEX},
        {"largest count", [](Block& b) { Fill(b, 32767); }, 32767, 32767, S_OK},
        {"lower bound 1", [](Block& b) { Fill(b, 4, 1); }, 4, 4, S_OK},
        {"one array short",
         [](Block& b) {
             Fill(b, 5);
             Put(b, Block::Attrs, VT_I2, Vector(VT_I2, 4));
         },
         5, 5, DISP_E_BADINDEX},
        {"types as 32-bit",
         [](Block& b) {
             Fill(b, 5);
             Put(b, Block::Types, VT_I4, Vector(VT_I4, 5));
         },
         5, 5, DISP_E_TYPEMISMATCH},
        {"names as numbers",
         [](Block& b) {
             Fill(b, 5);
             Put(b, Block::Names, VT_I2, Vector(VT_I2, 5));
         },
         5, 5, DISP_E_TYPEMISMATCH},
        {"comments missing",
         [](Block& b) {
             Fill(b, 5);
             VariantClear(b.Cell(Block::Cmnts));
         },
         5, 5, DISP_E_TYPEMISMATCH},
        {"two dimensions",
         [](Block& b) {
             Fill(b, 5);
             SAFEARRAYBOUND bounds[2] = {{5, 0}, {2, 0}};
             Put(b, Block::CompOffs, VT_I2, SafeArrayCreate(VT_I2, 2, bounds));
         },
         5, 5, DISP_E_TYPEMISMATCH},
        {"type mismatch outweighs a short array",
         [](Block& b) {
             Fill(b, 5);
             Put(b, Block::Sizes, VT_I2, Vector(VT_I2, 1));
             Put(b, Block::Indxs, VT_I4, Vector(VT_I4, 5));
         },
         5, 5, DISP_E_TYPEMISMATCH},
        {"tag says array of I2, array holds BSTR",
         [](Block& b) {
             Fill(b, 5);
             Put(b, Block::Addrs, VT_I2, Vector(VT_BSTR, 5));
         },
         5, 5, DISP_E_TYPEMISMATCH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Block block;
        c.reply(block);
        EXPECT_EQ(c.expected, block.Check(c.count, c.capacity));
    }
}

TEST(KorvaneVarBlock, ElementAccess) {
    struct Case {
        const char* name;
        LONG lower;
    };
    const Case cases[] = {{"lower bound 0", 0}, {"lower bound 1", 1}, {"negative lower bound", -3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Block block;
        Fill(block, 3, c.lower);
        SAFEARRAY* names = block.Cell(Block::Names)->parray;
        SAFEARRAY* sizes = block.Cell(Block::Sizes)->parray;
        const std::u16string texts[] = {std::u16string(u"a\0b", 3), u"", u"\xD83D\xDE00"};
        for (LONG i = 0; i < 3; ++i) {
            LONG at = c.lower + i;
            if (i != 1) { // element 1 stays a null BSTR
                BSTR text = SysAllocStringLen(texts[i].data(), static_cast<UINT>(texts[i].size()));
                ASSERT_EQ(SafeArrayPutElement(names, &at, text), S_OK);
                SysFreeString(text);
            }
            SHORT value = static_cast<SHORT>(-32768 + i);
            ASSERT_EQ(SafeArrayPutElement(sizes, &at, &value), S_OK);
        }
        ASSERT_EQ(block.Check(3, 3), S_OK);
        for (int32_t i = 0; i < 3; ++i) {
            BSTR copy = reinterpret_cast<BSTR>(1);
            ASSERT_TRUE(block.CopyString(Block::Names, i, &copy));
            EXPECT_EQ(std::u16string(copy == nullptr ? u"" : copy, SysStringLen(copy)), texts[i]) << i;
            SysFreeString(copy);
        }
        const SHORT* data = nullptr;
        ASSERT_EQ(block.AccessNumbers(Block::Sizes, &data), S_OK);
        EXPECT_EQ(data[0], -32768);
        EXPECT_EQ(data[2], -32766);
        // The array is locked while accessed: it cannot be destroyed.
        EXPECT_EQ(SafeArrayDestroy(sizes), DISP_E_ARRAYISLOCKED);
        block.UnaccessNumbers(Block::Sizes);
    }
}

TEST(KorvaneVarBlock, CellsStartEmptyAndAreCleared) {
    Block block;
    for (int k = 0; k < Block::Count; ++k)
        EXPECT_EQ(block.Cell(static_cast<Block::Array>(k))->vt, VT_EMPTY) << k;
    // Arrays put into the cells belong to the block (the sanitizer build
    // reports a leak if the destructor did not clear them).
    Fill(block, 100);
}

} // namespace
