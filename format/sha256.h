// SHA-256 (FIPS 180-4), compiled into both the setup and vesk: vesk records
// the digests of what it packs, and the setup checks what it extracts
// against them. Pure functions on bytes: no platform call, no C runtime.
// A message is below 4 GiB (a 32-bit byte count); payloads stay below 2 GiB.
#pragma once

#include <stdint.h>

#define SHA256_DIGEST_SIZE 32u
#define SHA256_BLOCK_SIZE 64u

struct Sha256 {
    uint32_t state[8];
    uint32_t count;  // bytes added
    uint8_t block[SHA256_BLOCK_SIZE];
};

static inline uint32_t Sha256Rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// One 64-byte block into the state.
inline void Sha256Block(uint32_t* state, const uint8_t* block) {
    static const uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
        __builtin_memcpy(&w[i], block + 4 * i, 4);  // big-endian words, wherever the data lie
        w[i] = __builtin_bswap32(w[i]);
    }
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = Sha256Rotate(w[i - 15], 7) ^ Sha256Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = Sha256Rotate(w[i - 2], 17) ^ Sha256Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t t1 = h + (Sha256Rotate(e, 6) ^ Sha256Rotate(e, 11) ^ Sha256Rotate(e, 25)) + ((e & f) ^ (~e & g)) +
                      k[i] + w[i];
        uint32_t t2 = (Sha256Rotate(a, 2) ^ Sha256Rotate(a, 13) ^ Sha256Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

inline void Sha256Start(Sha256* h) {
    static const uint32_t initial[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    for (int i = 0; i < 8; ++i) h->state[i] = initial[i];
    h->count = 0;
}

inline void Sha256Add(Sha256* h, const uint8_t* data, uint32_t length) {
    while (length) {
        // Whole blocks straight from the data while no partial block waits.
        if (h->count % SHA256_BLOCK_SIZE == 0 && length >= SHA256_BLOCK_SIZE) {
            Sha256Block(h->state, data);
            h->count += SHA256_BLOCK_SIZE;
            data += SHA256_BLOCK_SIZE;
            length -= SHA256_BLOCK_SIZE;
            continue;
        }
        h->block[h->count++ % SHA256_BLOCK_SIZE] = *data++;
        --length;
        if (h->count % SHA256_BLOCK_SIZE == 0) Sha256Block(h->state, h->block);
    }
}

inline void Sha256Finish(Sha256* h, uint8_t* digest) {
    // The 0x80 byte, zeros to 56 mod 64, then the length in bits (big-endian).
    uint32_t bits[2] = {h->count >> 29, h->count << 3};
    uint8_t pad = 0x80;
    do {
        Sha256Add(h, &pad, 1);
        pad = 0;
    } while (h->count % SHA256_BLOCK_SIZE != SHA256_BLOCK_SIZE - 8);
    for (int i = 0; i < 8; ++i) {
        pad = (uint8_t)(bits[i / 4] >> (24 - 8 * (i % 4)));
        Sha256Add(h, &pad, 1);
    }
    for (int i = 0; i < 8; ++i) {
        uint32_t word = __builtin_bswap32(h->state[i]);
        __builtin_memcpy(digest + 4 * i, &word, 4);
    }
}
