/* The C interface of the Tolvane cipher components, installed as <tolvane/tolvane.h>.
 * Compiles as C99 and as C++; every host that can call C can use it.
 *
 * Rules that hold for every function below:
 *
 * Errors. Each function returns int32_t: 0 on success, otherwise the error number the C++ API
 *   throws (tolvane::Error), with the same description, e.g. -2147218101 "Byte array must be
 *   sized divisible by 8.", 321 "Invalid file format", 5 for an argument that cannot be used.
 *   The description of the last failure on the calling thread is kept, in UTF-8, until that
 *   thread's next failure: tolvane_last_error_message(). Success leaves it as it was. Nothing
 *   here shows a message box, writes to a terminal or lets an exception out. The four
 *   functions that cannot fail (tolvane_version, tolvane_abi_version,
 *   tolvane_last_error_message, tolvane_free) return their value instead.
 *
 * Memory. Results of variable size are allocated by the library: the function stores a
 *   pointer and the length in the caller's variables, and the caller releases the pointer with
 *   tolvane_free, which overwrites the block before freeing it (results may be plaintext or
 *   key material). Text results also end with a NUL (not counted in the length; the text
 *   itself may hold NUL characters, so use the length). On failure every output the caller
 *   passed is cleared, even when another of them was the NULL that failed the call: pointers
 *   to NULL, lengths, counts and flags to 0. Byte arrays are encrypted and decrypted in
 *   buffers the caller owns.
 *
 * Bad input. NULL where a pointer is needed, a NULL buffer with a non-zero length, a length
 *   over the limits below, text that is not well-formed UTF-8 and a progress callback that
 *   asks to stop all return an error number; none of them crashes or changes anything.
 *
 * Threads. A tolvane_cipher is used by one thread at a time (different handles on different
 *   threads are fine). Every other function may be called from any thread at any time.
 *   A call on more than one thread (tolvane_cipher_set_threads) is helped by worker threads
 *   the library keeps; when it returns, none of them runs anything of it. On Windows they come
 *   from the system's thread pool, so the process exits and tolvane.dll unloads without
 *   waiting for them. A Windows host must not call the library while the loader lock is held
 *   (from its DllMain, or a static destructor of its own DLL), as the workers could not start
 *   or finish there, nor free tolvane.dll while a call into it runs on any thread.
 *
 * Text. Functions ending in 8 take and give UTF-8; those ending in 16 take and give UTF-16
 *   code units in the machine's byte order (what Windows hosts hold: WCHAR, .NET strings).
 *   Text is encrypted through its bytes in the active ANSI code page (tolvane_code_page),
 *   one byte per UTF-16 code unit; cipher text is those bytes read back through the same code
 *   page, one character per byte. Characters the code page lacks become a look-alike or "?".
 *
 * Paths are UTF-8 on every platform.
 */
#ifndef TOLVANE_TOLVANE_H_
#define TOLVANE_TOLVANE_H_

#include <stddef.h>
#include <stdint.h>

/* A Windows DLL exports these through its module-definition file, so no mark is needed. */
#if defined(__GNUC__) && !defined(_WIN32)
#define TOLVANE_C_API __attribute__((visibility("default")))
#else
#define TOLVANE_C_API
#endif

/* The calling convention of every function here and of the progress callback. On 32-bit
 * Windows it is __stdcall, the Windows API's own, so that any host able to call the Windows
 * API can call these (the DLL exports them under their plain names, without "@N"); elsewhere
 * there is one convention and the mark is empty. */
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define TOLVANE_CALL __stdcall
#else
#define TOLVANE_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The binary interface this header describes. A caller compares it with
 * tolvane_abi_version(): a library with another number is not one it was written for. */
#define TOLVANE_ABI_VERSION 1

/* Error numbers (the C++ API's; each failure also has a description). */
#define TOLVANE_OK 0
#define TOLVANE_ERR_INVALID_ARGUMENT 5 /* NULL, overlapping buffers, bad UTF-8, bad Base64 */
#define TOLVANE_ERR_OVERFLOW 6         /* a length over a limit; a key over 32767 bytes */
#define TOLVANE_ERR_OUT_OF_MEMORY 7
#define TOLVANE_ERR_SUBSCRIPT 9      /* an empty key */
#define TOLVANE_ERR_TYPE_MISMATCH 13 /* a hexadecimal code with a character that is no digit */
#define TOLVANE_ERR_STOPPED 18       /* the progress callback asked to stop */
#define TOLVANE_ERR_INTERNAL 51
#define TOLVANE_ERR_FILE_NOT_FOUND 53
#define TOLVANE_ERR_DISK_FULL 61
#define TOLVANE_ERR_PERMISSION_DENIED 70
#define TOLVANE_ERR_PATH_ACCESS 75
#define TOLVANE_ERR_BAD_FILE_FORMAT 321 /* not an encrypted file, or a wrong key */
#define TOLVANE_ERR_NOT_KEYED (-2147218103)
#define TOLVANE_ERR_SIZE_MISMATCH (-2147218102) /* also: the source file is not found */
#define TOLVANE_ERR_NOT_MULTIPLE_OF_8 (-2147218101)

/* Limits. Keys: 1 to 32767 bytes (only the first 72 count). Text: at most
 * TOLVANE_MAX_TEXT_UNITS code units (or UTF-8 bytes); its cipher text, padded to a multiple of
 * 8, at most TOLVANE_MAX_CIPHER_TEXT_UNITS code units, so that whatever is encrypted can be
 * decrypted; a hexadecimal code at most four times TOLVANE_MAX_TEXT_UNITS digits. Byte arrays,
 * Base64 and settings values: at most 2^31 - 1 bytes. */
#define TOLVANE_MAX_KEY_BYTES 32767
#define TOLVANE_MAX_TEXT_UNITS 536870911
#define TOLVANE_MAX_CIPHER_TEXT_UNITS 536870912

/* ---- Version and errors ---- */

/* The library's version, e.g. "0.1.0". A static string. */
TOLVANE_C_API const char* TOLVANE_CALL tolvane_version(void);
/* The TOLVANE_ABI_VERSION the library was built with. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_abi_version(void);
/* The description of the calling thread's last failure in UTF-8, or "" if none. Valid until
 * the thread's next call into the library. */
TOLVANE_C_API const char* TOLVANE_CALL tolvane_last_error_message(void);
/* Wipes and frees a block this library returned. NULL is ignored. */
TOLVANE_C_API void TOLVANE_CALL tolvane_free(void* block);

/* ---- The cipher ---- */

/* One Blowfish key schedule and its thread count. Opaque. */
typedef struct tolvane_cipher tolvane_cipher;

/* A new cipher without a key, using one thread, in *cipher. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_cipher_create(tolvane_cipher** cipher);
/* Wipes the key schedule and frees the cipher. NULL is ignored. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_cipher_destroy(tolvane_cipher* cipher);
/* Keys the cipher with `size` bytes (1 to 32767). A refused key changes nothing. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_cipher_set_key(tolvane_cipher* cipher,
                                                          const uint8_t* key, size_t size);
/* Lets one call use up to `threads` threads (0: one per hardware thread; capped at 64).
 * Inputs from 256 KiB on are then shared among them, with the same result. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_cipher_set_threads(tolvane_cipher* cipher,
                                                              uint32_t threads);

/* `size` bytes (a multiple of 8) from `in` into `out` in electronic-codebook mode. `in` and
 * `out` may be the same buffer but must not otherwise overlap. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_encrypt(const tolvane_cipher* cipher, const uint8_t* in,
                                                   uint8_t* out, size_t size);
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_decrypt(const tolvane_cipher* cipher, const uint8_t* in,
                                                   uint8_t* out, size_t size);

/* ---- Files ---- */

/* Told the bytes done and their total between chunks (at most about ten times a second) and
 * once at the end. Returning non-zero stops the work: the call returns TOLVANE_ERR_STOPPED
 * and the target is left as it was. */
typedef int32_t(TOLVANE_CALL* tolvane_progress)(void* context, uint64_t done, uint64_t total);

/* Encrypts the file `source` into `target` (the plain length as 4 bytes, then the zero-padded
 * data encrypted). The target is replaced whole once every byte is done and left as it was on
 * any failure; source and target may be the same file. `progress` may be NULL. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_encrypt_file(const tolvane_cipher* cipher,
                                                        const char* source, const char* target,
                                                        tolvane_progress progress, void* context);
/* Decrypts: every check of the format and, where the padding allows, of the key comes first
 * (321 when one fails); then as tolvane_encrypt_file. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_decrypt_file(const tolvane_cipher* cipher,
                                                        const char* source, const char* target,
                                                        tolvane_progress progress, void* context);
/* Runs the checks of tolvane_decrypt_file on `path`, writing nothing. *key_checked becomes 1
 * when the key was checked against the padding, 0 when the plain length is a multiple of 8 and
 * left nothing to check it against. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_check_file(const tolvane_cipher* cipher,
                                                      const char* path, int32_t* key_checked);

/* ---- Text ---- */

/* The cipher text of `text` (`units` code units or bytes): a multiple of 8 characters. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_encrypt_text16(const tolvane_cipher* cipher,
                                                          const uint16_t* text, size_t units,
                                                          uint16_t** result, size_t* result_units);
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_encrypt_text8(const tolvane_cipher* cipher,
                                                         const char* text, size_t size,
                                                         char** result, size_t* result_size);
/* The text of cipher text (a multiple of 8 characters), cut at its first NUL unless that is
 * its first character. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_decrypt_text16(const tolvane_cipher* cipher,
                                                          const uint16_t* text, size_t units,
                                                          uint16_t** result, size_t* result_units);
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_decrypt_text8(const tolvane_cipher* cipher,
                                                         const char* text, size_t size,
                                                         char** result, size_t* result_size);

/* The hexadecimal code of text: each UTF-16 code unit as four uppercase digits, low byte
 * first ("A" is "4100"). */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_hex_code16(const uint16_t* text, size_t units,
                                                      uint16_t** result, size_t* result_units);
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_hex_code8(const char* text, size_t size, char** result,
                                                     size_t* result_size);
/* The text a hexadecimal code holds (lowercase digits accepted); 13 for a non-digit. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_from_hex_code16(const uint16_t* code, size_t units,
                                                           uint16_t** result, size_t* result_units);
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_from_hex_code8(const char* code, size_t size,
                                                          char** result, size_t* result_size);

/* ---- The code page ---- */

/* The active ANSI code page (874 or 1250 to 1258), for the whole process. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_code_page(int32_t* code_page);
/* Makes `code_page` the active one; 5, changing nothing, for one that is not supported. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_set_code_page(int32_t code_page);
/* UTF-8 text as its bytes in the active code page, one per UTF-16 code unit, and back: how
 * cipher text becomes the bytes that files and databases hold. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_code_page_bytes8(const char* text, size_t size,
                                                            uint8_t** result, size_t* result_size);
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_code_page_text8(const uint8_t* bytes, size_t size,
                                                           char** result, size_t* result_size);

/* ---- Base64 ---- */

/* Standard Base64 ("=" padding; space, tab, CR and LF skipped) decoded into bytes. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_base64_decode8(const char* text, size_t size,
                                                          uint8_t** result, size_t* result_size);
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_base64_decode16(const uint16_t* text, size_t units,
                                                           uint8_t** result, size_t* result_size);

/* ---- Settings ---- */

/* The per-user settings store: values under a name (NUL-terminated UTF-8), each text or
 * binary. A text value's name is a path of keys ("Window\Left"); a binary value's is taken as
 * it is; <tolvane/support/registry.h> describes the layout. */
#define TOLVANE_SETTING_NONE 0
#define TOLVANE_SETTING_TEXT 1
#define TOLVANE_SETTING_BINARY 2

/* Stores text (NUL-terminated UTF-8) or bytes under `name`, replacing any earlier value. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_settings_write_text(const char* name, const char* value);
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_settings_write_binary(const char* name,
                                                                 const uint8_t* value, size_t size);
/* The value under `name`: *kind is TOLVANE_SETTING_NONE (then *value is NULL), _TEXT (UTF-8,
 * NUL-terminated) or _BINARY. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_settings_read(const char* name, int32_t* kind,
                                                         uint8_t** value, size_t* size);
/* Every stored value, sorted by name, as one block of entries: a type character, the name,
 * and a NUL. *count is the number of entries. The types: 't' text, 'b' binary; and, for values
 * other programs stored in the Windows registry, 'x' expandable text, 'm' a list of texts,
 * 'd' a 32-bit number, 'q' a 64-bit number, 'o' any other type. Reading gives numbers as
 * decimal text, 'x' unexpanded and 'm' when it holds one text; 'o' reads as bytes. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_settings_list(char** entries, size_t* size,
                                                         size_t* count);
/* Removes the value under `name`; *deleted becomes 1 if there was one, else 0. */
TOLVANE_C_API int32_t TOLVANE_CALL tolvane_settings_delete(const char* name, int32_t* deleted);

#ifdef __cplusplus
}
#endif

#endif /* TOLVANE_TOLVANE_H_ */
