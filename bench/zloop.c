/* The floor that 4096-byte pieces allow: plain zlib with read() and write() of
 * 4096 bytes, no layers.
 *   zloop inflate IN OFFSET OUT     inflate the zlib stream at OFFSET of IN
 *   zloop deflate IN OUT            deflate IN at level 6 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <zlib.h>

enum { PIECE = 4096 };

static void put(int fd, const unsigned char* data, size_t count) {
    if (count > 0 && write(fd, data, count) != (ssize_t)count) { perror("write"); exit(1); }
}

int main(int argc, char** argv) {
    static unsigned char in[PIECE], out[PIECE];
    z_stream z;
    int inflating = argc == 5 && strcmp(argv[1], "inflate") == 0;
    if (!inflating && !(argc == 4 && strcmp(argv[1], "deflate") == 0)) {
        fprintf(stderr, "usage: zloop inflate IN OFFSET OUT | zloop deflate IN OUT\n");
        return 2;
    }
    int src = open(argv[2], O_RDONLY);
    int dst = open(argv[inflating ? 4 : 3], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (src < 0 || dst < 0) { perror("open"); return 1; }
    if (inflating) lseek(src, atol(argv[3]), SEEK_SET);
    memset(&z, 0, sizeof z);
    if ((inflating ? inflateInit(&z) : deflateInit(&z, 6)) != Z_OK) return 1;
    int r = Z_OK, flush = Z_NO_FLUSH;
    do {
        if (z.avail_in == 0 && flush == Z_NO_FLUSH) {
            ssize_t got = read(src, in, PIECE);
            if (got < 0) { perror("read"); return 1; }
            z.next_in = in;
            z.avail_in = (uInt)got;
            if (got == 0) flush = Z_FINISH;
        }
        z.next_out = out;
        z.avail_out = PIECE;
        r = inflating ? inflate(&z, flush) : deflate(&z, flush);
        put(dst, out, PIECE - z.avail_out);
    } while (r == Z_OK || (r == Z_BUF_ERROR && flush == Z_NO_FLUSH));
    inflating ? inflateEnd(&z) : deflateEnd(&z);
    close(dst);
    return r == Z_STREAM_END ? 0 : 1;
}
