#!/usr/bin/env python3
"""jpeg-to-pdf.py JPEG WIDTH HEIGHT PDF: one page holding the JPEG, as a
scanner writes it: the objects, their cross-reference table and the
trailer's startxref (ImageMagick's policy forbids writing PDF here)."""
import sys

jpeg = open(sys.argv[1], "rb").read()
width, height = int(sys.argv[2]), int(sys.argv[3])
content = b"q %d 0 0 %d 0 0 cm /Im0 Do Q" % (width, height)
objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
           b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
           b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Resources << /XObject << /Im0 4 0 R >> >> /Contents 5 0 R >>" % (width, height),
           b"<< /Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode /Length %d >>\nstream\n" % (width, height, len(jpeg)) + jpeg + b"\nendstream",
           b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream"]
pdf = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
offsets = []
for number, body in enumerate(objects, 1):
    offsets.append(len(pdf))
    pdf += b"%d 0 obj\n" % number + body + b"\nendobj\n"
xref = len(pdf)
pdf += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1) + b"".join(b"%010d 00000 n \n" % o for o in offsets)
pdf += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
open(sys.argv[4], "wb").write(pdf)
