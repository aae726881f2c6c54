// peers_watch REFERENCE.rgb X Y WIDTH HEIGHT TIMEOUT_MS MEAN_TOLERANCE FAR_FRACTION
// Watches a rectangle of the X screen until it shows what REFERENCE.rgb holds (raw RGB
// rows of WIDTH x HEIGHT): grabs it through shared memory every 5 ms, and calls a grab a
// match when the mean absolute difference per channel is at most MEAN_TOLERANCE and at
// most FAR_FRACTION of the pixels differ by more than 24 in a channel (a picture drawn
// only in part is not a match). Every other pixel of every other row is compared: a
// blurred preview differs at that density as much as at every pixel. Prints "ready" once
// the first grab is done, then "match T_S MEAN FAR" (T_S: CLOCK_MONOTONIC seconds when
// the matching grab had been taken) or "timeout BEST_MEAN BEST_FAR"; exit status 0 on a
// match. Build: gcc -O2 -o peers_watch peers_watch.c -lX11 -lXext
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

static int shift(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        s++;
    }
    return s;
}

int main(int argc, char** argv) {
    if (argc != 9) {
        fprintf(stderr,
                "usage: peers_watch REFERENCE.rgb X Y WIDTH HEIGHT TIMEOUT_MS "
                "MEAN_TOLERANCE FAR_FRACTION\n");
        return 2;
    }
    const int x = atoi(argv[2]), y = atoi(argv[3]), w = atoi(argv[4]), h = atoi(argv[5]);
    const double timeout = atof(argv[6]) / 1000, tolerance = atof(argv[7]),
                 farFraction = atof(argv[8]);
    unsigned char* ref = malloc((size_t)w * h * 3);
    FILE* f = fopen(argv[1], "rb");
    if (!f || fread(ref, 3, (size_t)w * h, f) != (size_t)w * h) {
        fprintf(stderr, "peers_watch: cannot read %d x %d RGB from %s\n", w, h, argv[1]);
        return 1;
    }
    fclose(f);
    Display* d = XOpenDisplay(NULL);
    if (!d || !XShmQueryExtension(d)) {
        fprintf(stderr, "peers_watch: no X display with shared memory\n");
        return 1;
    }
    const int screen = DefaultScreen(d);
    XShmSegmentInfo shm;
    XImage* image = XShmCreateImage(d, DefaultVisual(d, screen), DefaultDepth(d, screen), ZPixmap,
                                    NULL, &shm, w, h);
    shm.shmid = shmget(IPC_PRIVATE, (size_t)image->bytes_per_line * h, IPC_CREAT | 0600);
    shm.shmaddr = image->data = shmat(shm.shmid, NULL, 0);
    shm.readOnly = False;
    XShmAttach(d, &shm);
    XSync(d, False);
    shmctl(shm.shmid, IPC_RMID, NULL);  // gone once both sides detach
    const int rs = shift(image->red_mask), gs = shift(image->green_mask),
              bs = shift(image->blue_mask);

    const double start = now();
    double bestMean = 1e9, bestFar = 1;
    int first = 1;
    while (now() - start < timeout) {
        XShmGetImage(d, DefaultRootWindow(d), image, x, y, AllPlanes);
        const double taken = now();
        long long sum = 0;
        long far = 0, count = 0;
        for (int row = 0; row < h; row += 2) {
            const unsigned int* line =
                (const unsigned int*)(image->data + (size_t)row * image->bytes_per_line);
            const unsigned char* want = ref + (size_t)row * w * 3;
            for (int col = 0; col < w; col += 2) {
                const unsigned int p = line[col];
                const int dr = abs((int)((p >> rs) & 255) - want[col * 3]),
                          dg = abs((int)((p >> gs) & 255) - want[col * 3 + 1]),
                          db = abs((int)((p >> bs) & 255) - want[col * 3 + 2]);
                sum += dr + dg + db;
                far += dr > 24 || dg > 24 || db > 24;
                count++;
            }
        }
        const double mean = (double)sum / (3.0 * count), farShare = (double)far / count;
        if (mean < bestMean) {
            bestMean = mean;
            bestFar = farShare;
        }
        if (first) {
            printf("ready\n");
            fflush(stdout);
            first = 0;
        }
        if (mean <= tolerance && farShare <= farFraction) {
            printf("match %.6f %.2f %.4f\n", taken, mean, farShare);
            return 0;
        }
        struct timespec pause = {0, 5000000};
        nanosleep(&pause, NULL);
    }
    printf("timeout %.2f %.4f\n", bestMean, bestFar);
    return 3;
}
